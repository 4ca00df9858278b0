#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>
#include <cstring>
#include <regex>
#include <string>

#include "cli/SearchEngines.h"

#ifndef TAVRINOX_VERSION
#define TAVRINOX_VERSION "1.0.0"
#endif

namespace tvx::cli {
namespace {

std::string Joined(const std::vector<std::string>& items, const char* between, const char* last) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += i + 1 == items.size() ? last : between;
    text += items[i];
  }
  return text;
}

std::vector<std::string> Lines(const char* text) {
  std::vector<std::string> lines;
  std::string all(text);
  std::size_t start = 0;
  while (start <= all.size()) {
    std::size_t end = all.find('\n', start);
    if (end == std::string::npos) end = all.size();
    lines.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// The words of text in lines of at most width columns, each starting with
// indent (the first with firstIndent).
std::string Wrapped(const std::string& text, const std::string& firstIndent,
                    const std::string& indent, int width) {
  std::string out;
  std::string line = firstIndent;
  bool empty = true;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    start = end + 1;
    if (word.empty()) continue;
    if (!empty && static_cast<int>(line.size() + 1 + word.size()) > width) {
      out += line + "\n";
      line = indent;
      empty = true;
    }
    line += (empty ? "" : " ") + word;
    empty = false;
  }
  return out + line + "\n";
}

constexpr int kHelpWidth = 79;
constexpr std::size_t kNameColumn = 30;

// The help as a terminal of 80 columns shows it: names, then their texts
// wrapped beside them.
class HelpFormatter final : public CLI::Formatter {
 public:
  std::string make_description(const CLI::App* app) const override {
    std::string text;
    for (const std::string& line : Lines(app->get_description().c_str()))
      text += (text.empty() ? "" : " ") + line;
    return Wrapped(text, "", "", kHelpWidth);
  }
  std::string make_option_name(const CLI::Option* opt, bool positional) const override {
    if (!positional) return CLI::Formatter::make_option_name(opt, positional);
    return opt->get_name(true) + (opt->get_items_expected_max() > 1 ? "..." : "");
  }
  std::string make_option_opts(const CLI::Option* opt) const override {
    if (opt->get_positional() || opt->get_items_expected_max() == 0) return {};
    return " " + opt->get_type_name();
  }
  std::string make_option(const CLI::Option* opt, bool positional) const override {
    return Entry(make_option_name(opt, positional) + make_option_opts(opt), make_option_desc(opt));
  }
  std::string make_subcommand(const CLI::App* sub) const override {
    return Entry(sub->get_display_name(), sub->get_description());
  }

 private:
  static std::string Entry(const std::string& name, const std::string& text) {
    std::string first = "  " + name;
    const std::string indent(kNameColumn, ' ');
    if (first.size() + 2 > kNameColumn)
      return first + "\n" + Wrapped(text, indent, indent, kHelpWidth);
    first.resize(kNameColumn, ' ');
    return Wrapped(text, first, indent, kHelpWidth);
  }
};

}  // namespace

std::string VersionText() { return std::string("tavrinox ") + TAVRINOX_VERSION; }

const std::vector<HelpSection>& HelpSections() {
  static const std::vector<HelpSection> sections = {
      {"OUTPUT", HelpSection::Prose,
       "On a terminal each running item has a line of its own with a bar, the bytes so far, "
       "the rate and the time left.\n"
       "Otherwise (a pipe, a file, cron) each event is a plain line: \"saved "
       "Pictures/<path> <bytes>\" for a saved picture, \"<project>: N pictures saved\" when a "
       "web site is done, the URL of each search result, and \"failed <URL or project>: "
       "<why>\" on standard error.\n"
       "With --quiet only the failures are printed."},
      {"EXIT STATUS", HelpSection::Table,
       "0  Every item ended well.\n"
       "1  An item failed, or the run was ended by a signal before every item had ended.\n"
       "2  The command line was used wrongly.\n"
       "3  Another copy of the program is using the folder."},
      {"ENVIRONMENT", HelpSection::Table,
       "http_proxy, https_proxy, all_proxy, no_proxy  The proxy every transfer goes through "
       "(single files, crawls, searches); loopback addresses are always reached directly.\n"
       "TAVRINOX_CA_FILE  Certificate authorities to trust for HTTPS instead of the system's.\n"
       "TAVRINOX_MIN_FREE_MB  Free space in MB (default 512) a download must leave on the disk "
       "holding Pictures."},
      {"FILES", HelpSection::Table,
       "reqpics.data, reqpicwebs.data, reqpicsearch.data  The requested files, web sites and "
       "search projects, in the working folder.\n"
       "dnldpics.data, dnldpicwebs.data, picsearchres.data  The downloaded files and web sites, "
       "and the search results.\n"
       "picwebopts.data  The options of web-site projects, their cookie files among them.\n"
       "Pictures/  The saved pictures.\n"
       "tavrinox.lock  Held while a copy of the program, window or command, uses the folder. The "
       "lists are saved at the end, and on SIGINT, SIGTERM or SIGHUP; a second such signal ends "
       "at once after saving."},
      {"EXAMPLES", HelpSection::Verbatim,
       "tavrinox get https://example.com/photos/boat.jpg\n"
       "tavrinox crawl https://example.com/gallery/ --types jpg,png --other \".webp .avif\"\n"
       "tavrinox crawl https://members.example.com/ --cookies ~/cookies.txt\n"
       "tavrinox search lighthouse --engine yahoo\n"
       "tavrinox --dir ~/Tavrinox list downloaded-files\n"
       "# crontab: every requested item, each night at 2:30\n"
       "30 2 * * * tavrinox --dir \"$HOME/Tavrinox\" --quiet run"},
  };
  return sections;
}

std::string HelpSectionsText(int width) {
  std::string text;
  for (const HelpSection& s : HelpSections()) {
    text += "\n";
    text += s.title;
    text += ":\n";
    for (const std::string& line : Lines(s.text)) {
      if (s.kind == HelpSection::Verbatim) {
        text += "  " + line + "\n";
      } else if (s.kind == HelpSection::Table) {
        const std::size_t gap = line.find("  ");
        text += Wrapped(line.substr(0, gap), "  ", "  ", width);
        text += Wrapped(line.substr(gap + 2), "      ", "      ", width);
      } else {
        text += Wrapped(line, "  ", "  ", width);
      }
    }
  }
  return text;
}

std::unique_ptr<CLI::App> MakeParser(Arguments& args) {
  auto app = std::make_unique<CLI::App>(
      "Quillanto for pictures: downloads pictures named by URL, crawls web sites for their\n"
      "pictures and asks search engines for pages, each item on a worker of its own. With\n"
      "a command it works without a window on the lists and Pictures folder of the\n"
      "working folder; without one it opens its window.",
      "tavrinox");
  app->set_version_flag("--version", VersionText(), "Print the program's version and end");
  app->set_help_flag("-h,--help", "Print this help and end");
  auto formatter = std::make_shared<HelpFormatter>();
  formatter->label("SUBCOMMAND", "COMMAND");
  formatter->label("Positionals", "Arguments");
  app->formatter(formatter);
  app->require_subcommand(1);
  // Options of the program may follow the command too.
  app->fallthrough();
  app->add_option("--dir", args.dir,
                  "The working folder, with the lists and the Pictures folder (default: the "
                  "current folder)")
      ->type_name("DIR")
      ->check(CLI::ExistingDirectory.description(""));
  app->add_flag("-q,--quiet", args.quiet, "Print failures only");

  CLI::App* get = app->add_subcommand(
      "get",
      "Adds each URL to the requested files and downloads it, as Download does on its row. A "
      "URL without \"//\" gets \"http://\" in front; a URL already requested is downloaded from "
      "its row.");
  get->add_option("URL", args.urls, "Picture URLs (http, https or ftp)")->required();

  CLI::App* crawl =
      app->add_subcommand("crawl",
                          "Adds a web-site project and runs it: the pictures of the site go below "
                          "Pictures/<project>, in the folders of the site.");
  crawl->add_option("URL", args.startUrl, "Where the crawl starts")->required();
  crawl
      ->add_option("--project", args.project,
                   "The project's name, which names its folder (default: the host of URL)")
      ->type_name("NAME");
  crawl
      ->add_option("--types", args.types,
                   "The picture types to fetch, separated by commas: cdr, gif, jpg, bmp, png, "
                   "tga, tif (default: all of them)")
      ->type_name("LIST")
      ->delimiter(',')
      ->check(CLI::IsMember(std::vector<std::string>(std::begin(kPictureTypeNames),
                                                     std::end(kPictureTypeNames)))
                  .description(""));
  crawl->add_option("--other", args.otherTypes, "Other types to fetch, such as \".webp .avif\"")
      ->type_name("TYPES");
  crawl->add_flag("--all-files", args.allFiles, "Fetch every file the site links, of any type");
  crawl->add_flag("--classic", args.classic,
                  "Read pages line by line and fetch one URL after the other, as projects "
                  "without Modern link search do");
  crawl
      ->add_option("--per-host", args.perHost,
                   "The most transfers at once per host, 1 to 16 (default 8; not with --classic)")
      ->type_name("N")
      ->check(CLI::Range(1, 16).description(""));
  crawl
      ->add_option("--exit-domain", args.exitDomain,
                   "Follow links to other sites too, up to N sites besides the start site")
      ->type_name("N")
      ->check(CLI::Range(0, 1000000).description(""));
  crawl
      ->add_option("--cookies", args.cookies,
                   "Send the cookies of FILE, a cookies.txt or a Firefox profile's "
                   "cookies.sqlite, to the hosts and paths they belong to (kept with the "
                   "project; the file is only read)")
      ->type_name("FILE");
  crawl->add_flag("--no-robots", args.noRobots,
                  "Do not read or obey the site's robots.txt (obeyed by default)");
  crawl
      ->add_option("--wait", args.waitSeconds,
                   "Seconds between the starts of two requests to one host, 0 to 60 (default 0; "
                   "a larger Crawl-delay of robots.txt wins)")
      ->type_name("SECONDS")
      ->check(CLI::Range(0, 60).description(""));
  crawl
      ->add_option_function<std::string>(
          "--min-size",
          [&args](const std::string& size) {
            const std::size_t x = size.find_first_of("xX");
            args.minWidth = std::stoi(size.substr(0, x));
            args.minHeight = std::stoi(size.substr(x + 1));
          },
          "Keep no picture narrower or lower than this, in pixels, read from its first bytes")
      ->type_name("WxH")
      ->check(CLI::Validator(
          [](std::string& size) -> std::string {
            static const std::regex kSize("[0-9]{1,5}[xX][0-9]{1,5}");
            return std::regex_match(size, kSize) ? "" : "not a size such as 100x100: " + size;
          },
          ""));
  crawl->add_option("--min-kb", args.minKb, "Keep no picture smaller than this many KB")
      ->type_name("KB")
      ->check(CLI::Range(0, 2000000000).description(""));
  crawl
      ->add_option("--max-kb", args.maxKb,
                   "Fetch no picture larger than this many KB (the transfer ends at the limit)")
      ->type_name("KB")
      ->check(CLI::Range(0, 2000000000).description(""));
  crawl->add_flag("--refetch-deleted", args.refetchDeleted,
                  "Fetch again the pictures deleted from Pictures since an earlier run");
  crawl->add_flag("--copies-across-projects", args.copiesAcrossProjects,
                  "Skip a picture whose bytes any project saved already (default: this project)");

  const std::vector<std::string> engines = SearchEngineNames();
  CLI::App* search = app->add_subcommand(
      "search",
      "Adds a search project for the words and runs it. Each link found is printed on a line "
      "of its own and lands in Search Results.");
  search->add_option("WORDS", args.words, "What to search for")->required();
  search
      ->add_option(
          "--engine", args.engines,
          "An engine to ask, again for each further one: " + Joined(engines, ", ", " or ") +
              " (default: " + Joined(DefaultSearchEngines(), ", ", " and ") + ")")
      ->type_name("NAME")
      ->check(CLI::IsMember(engines).description(""));

  app->add_subcommand("run",
                      "Starts every requested file, web site and search project, as Download "
                      "does, and ends when all have ended: for cron.");

  CLI::App* list = app->add_subcommand(
      "list", "Prints a list, one item a line: its URL or name, a tab, and its status.");
  list->add_option(
          "LIST", args.list,
          "The list: " + Joined({std::begin(kListNames), std::end(kListNames)}, ", ", " or ") +
              " (default: files)")
      ->check(CLI::IsMember(std::vector<std::string>(std::begin(kListNames), std::end(kListNames)))
                  .description(""));

  for (CLI::App* command : app->get_subcommands([](CLI::App*) { return true; }))
    command->group("Commands");
  app->footer(HelpSectionsText());
  return app;
}

bool WantsCommandLine(int argc, const char* const* argv) {
  if (argc < 2) return false;
  const char* first = argv[1];
  // "-platform offscreen", "-session id": the toolkit's, for the window.
  const bool toolkitOption =
      first[0] == '-' && first[1] != '-' && first[1] != '\0' && first[2] != '\0';
  return !toolkitOption;
}

std::optional<int> ParseArguments(int argc, const char* const* argv, Arguments& args,
                                  std::ostream& out, std::ostream& err) {
  std::unique_ptr<CLI::App> app = MakeParser(args);
  try {
    app->parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app->exit(e, out, err);
  } catch (const CLI::ParseError& e) {
    std::string problem = e.what();
    // A word where the command belongs that names none.
    if (app->get_subcommands().empty()) {
      for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--dir") ++i;
        if (word.empty() || word[0] == '-' || word == "--dir") continue;
        problem = "there is no command \"" + word + "\"";
        break;
      }
    }
    // The usage of the command that was wrongly used (the program's when
    // none was named).
    err << "tavrinox: " << problem << "\n\n" << app->help();
    return 2;
  }
  for (CLI::App* sub : app->get_subcommands()) args.command = sub->get_name();
  return std::nullopt;
}

}  // namespace tvx::cli
