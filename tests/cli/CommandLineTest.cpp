// The command line's arguments, help, progress lines, manual page and shell
// completion, without running the program.
#include <gtest/gtest.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/ManPage.h"
#include "cli/Progress.h"
#include "cli/SearchEngines.h"
#include "support/Files.h"
#include "support/TempDir.h"

namespace tvx::cli {
namespace {

struct Parsed {
  std::optional<int> status;
  Arguments args;
  std::string out;
  std::string err;
};

Parsed Parse(std::vector<std::string> words) {
  words.insert(words.begin(), "tavrinox");
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  Parsed p;
  std::ostringstream out, err;
  p.status = ParseArguments(static_cast<int>(argv.size()), argv.data(), p.args, out, err);
  p.out = out.str();
  p.err = err.str();
  return p;
}

TEST(CommandLine, ArgumentsAreTakenAsTheHelpSaysAndAWrongUseShowsTheUsage) {
  using Check = std::function<void(const Arguments&)>;
  struct Case {
    std::vector<std::string> words;
    std::optional<int> status;
    std::string errStart;  // the first line on standard error
    Check check;
  };
  const Case cases[] = {
      {{"get", "http://a/x.jpg", "b/y.png"},
       std::nullopt,
       "",
       [](const Arguments& a) {
         EXPECT_EQ(a.command, "get");
         EXPECT_EQ(a.urls, (std::vector<std::string>{"http://a/x.jpg", "b/y.png"}));
         EXPECT_FALSE(a.quiet);
       }},
      // Options of the program before or after the command.
      {{"--dir", "/", "-q", "run"},
       std::nullopt,
       "",
       [](const Arguments& a) {
         EXPECT_EQ(a.command, "run");
         EXPECT_EQ(a.dir, "/");
         EXPECT_TRUE(a.quiet);
       }},
      {{"run", "--quiet", "--dir", "/tmp"},
       std::nullopt,
       "",
       [](const Arguments& a) {
         EXPECT_TRUE(a.quiet);
         EXPECT_EQ(a.dir, "/tmp");
       }},
      {{"crawl", "https://h.example/g/", "--project", "Holiday", "--types", "jpg,png", "--other",
        ".webp .avif", "--classic", "--per-host", "8", "--exit-domain", "3", "--cookies", "c.txt"},
       std::nullopt,
       "",
       [](const Arguments& a) {
         EXPECT_EQ(a.startUrl, "https://h.example/g/");
         EXPECT_EQ(a.project, "Holiday");
         EXPECT_EQ(a.types, (std::vector<std::string>{"jpg", "png"}));
         EXPECT_EQ(a.otherTypes, ".webp .avif");
         EXPECT_TRUE(a.classic);
         EXPECT_FALSE(a.allFiles);
         EXPECT_EQ(a.perHost, 8);
         EXPECT_EQ(a.exitDomain, 3);
         EXPECT_EQ(a.cookies, "c.txt");
       }},
      {{"crawl", "h.example"},
       std::nullopt,
       "",
       [](const Arguments& a) {
         EXPECT_EQ(a.perHost, 8);
         EXPECT_EQ(a.exitDomain, -1);
         EXPECT_TRUE(a.types.empty());
         EXPECT_FALSE(a.noRobots);
         EXPECT_EQ(a.waitSeconds, 0);
         EXPECT_EQ(a.minWidth + a.minHeight + a.minKb + a.maxKb, 0);
         EXPECT_FALSE(a.refetchDeleted || a.copiesAcrossProjects);
       }},
      {{"crawl", "h.example", "--no-robots", "--wait", "2", "--min-size", "100X80", "--min-kb",
        "20", "--max-kb", "900", "--refetch-deleted", "--copies-across-projects"},
       std::nullopt,
       "",
       [](const Arguments& a) {
         EXPECT_TRUE(a.noRobots);
         EXPECT_EQ(a.waitSeconds, 2);
         EXPECT_EQ(a.minWidth, 100);
         EXPECT_EQ(a.minHeight, 80);
         EXPECT_EQ(a.minKb, 20);
         EXPECT_EQ(a.maxKb, 900);
         EXPECT_TRUE(a.refetchDeleted);
         EXPECT_TRUE(a.copiesAcrossProjects);
       }},
      {{"search", "old", "lighthouse", "--engine", "yahoo", "--engine", "altavista"},
       std::nullopt,
       "",
       [](const Arguments& a) {
         EXPECT_EQ(a.words, (std::vector<std::string>{"old", "lighthouse"}));
         EXPECT_EQ(a.engines, (std::vector<std::string>{"yahoo", "altavista"}));
       }},
      {{"list"}, std::nullopt, "", [](const Arguments& a) { EXPECT_EQ(a.list, "files"); }},
      {{"list", "downloaded-sites"},
       std::nullopt,
       "",
       [](const Arguments& a) { EXPECT_EQ(a.list, "downloaded-sites"); }},
      {{"--help"}, 0, "", {}},
      {{"crawl", "--help"}, 0, "", {}},
      {{"--version"}, 0, "", {}},
      {{}, 2, "tavrinox: A subcommand is required", {}},
      {{"fetch", "http://a/x.jpg"}, 2, "tavrinox: there is no command \"fetch\"", {}},
      {{"--dir", "/", "fetch"}, 2, "tavrinox: there is no command \"fetch\"", {}},
      {{"get"}, 2, "tavrinox: URL is required", {}},
      {{"crawl", "h", "--types", "jpg,webp"}, 2, "tavrinox: --types: webp not in", {}},
      {{"crawl", "h", "--per-host", "17"}, 2, "tavrinox: --per-host: Value 17 not in range", {}},
      {{"search", "x", "--engine", "google"}, 2, "tavrinox: --engine: google not in", {}},
      {{"crawl", "h", "--wait", "61"}, 2, "tavrinox: --wait: Value 61 not in range", {}},
      {{"crawl", "h", "--min-size", "100"}, 2, "tavrinox: --min-size: not a size such as", {}},
      {{"crawl", "h", "--min-size", "99999999x1"}, 2, "tavrinox: --min-size: not a size such", {}},
      {{"list", "everything"}, 2, "tavrinox: LIST: everything not in", {}},
      {{"--dir", "/no/such/folder", "run"}, 2, "tavrinox: --dir: Directory does not exist", {}},
      {{"run", "extra"}, 2, "tavrinox: The following argument was not expected: extra", {}},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& w : c.words) shown += w + " ";
    SCOPED_TRACE(shown);
    const Parsed p = Parse(c.words);
    EXPECT_EQ(p.status, c.status) << p.err;
    if (c.check) c.check(p.args);
    if (c.status == 0) {
      EXPECT_FALSE(p.out.empty());
      EXPECT_TRUE(p.err.empty());
    }
    if (c.status == 2) {
      EXPECT_EQ(p.err.substr(0, c.errStart.size()), c.errStart) << p.err;
      EXPECT_NE(p.err.find("\nUsage: tavrinox"), std::string::npos) << "with the usage text";
      EXPECT_TRUE(p.out.empty());
    }
  }
  // The usage of the command that was used wrongly, the program's otherwise.
  EXPECT_NE(Parse({"crawl", "--per-host", "0", "h"}).err.find("Usage: tavrinox crawl"),
            std::string::npos);
  EXPECT_EQ(Parse({"--version"}).out, VersionText() + "\n");
  EXPECT_NE(Parse({"--help"}).out.find("30 2 * * * tavrinox"), std::string::npos)
      << "the help ends with the examples, a cron line among them";
}

TEST(CommandLine, TheWindowOpensWithoutACommandOrWithTheToolkitsOwnOptions) {
  struct Case {
    std::vector<const char*> argv;
    bool commandLine;
  };
  const Case cases[] = {
      {{"tavrinox"}, false},
      {{"tavrinox", "-platform", "offscreen"}, false},
      {{"tavrinox", "-session", "1234"}, false},
      {{"tavrinox", "get", "x"}, true},
      {{"tavrinox", "--help"}, true},
      {{"tavrinox", "-h"}, true},
      {{"tavrinox", "-q", "run"}, true},
      {{"tavrinox", "--dir", "/", "list"}, true},
      {{"tavrinox", "nonsense"}, true},  // told that there is no such command
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argv.back());
    EXPECT_EQ(WantsCommandLine(static_cast<int>(c.argv.size()), c.argv.data()), c.commandLine);
  }
}

TEST(CommandLine, SearchEnginesAreTheThreeOfTodayUnlessNamed) {
  EngineChoice today;
  today.today = {true, true, true};
  EngineChoice yahoo;
  yahoo.yahoo = true;
  EngineChoice mixed;
  mixed.altaVista = true;
  mixed.today.commons = true;
  const struct {
    std::vector<std::string> names;
    EngineChoice choice;
  } cases[] = {
      {{}, today},
      {{"yahoo"}, yahoo},
      {{"commons", "altavista", "commons"}, mixed},
      {{"openverse", "commons", "duckduckgo"}, today},
  };
  for (const auto& c : cases) EXPECT_EQ(ChooseSearchEngines(c.names), c.choice);
  for (const std::string& name : SearchEngineNames()) {
    EngineChoice one;
    EXPECT_TRUE(ChooseEngine(name, one)) << name;
  }
}

TEST(CommandLine, AProgressLineFitsItsTerminal) {
  struct Case {
    ProgressFigures figures;
    int width;
    std::string line;
  };
  ProgressFigures file{"boat.jpg", 512 * 1024, 2048 * 1024, "512.0 KB of 2.0 MB", 256.0 * 1024, 6};
  ProgressFigures crawl{"Holiday pictures", 3, 12, "3 pictures, 1.5 MB", std::nullopt, 90};
  ProgressFigures unsized{"raw.jpg", 0, 0, "700 B", 70.0, std::nullopt};
  ProgressFigures wide{
      "Ünïcödé name of a project that is far too long", 1, 2, "", std::nullopt, std::nullopt};
  const Case cases[] = {
      {file, 100,
       "boat.jpg  [#####...............]  25%  512.0 KB of 2.0 MB  256.0 KB/s  0:06 left"},
      {crawl, 100, "Holiday pictures  [#####...............]  25%  3 pictures, 1.5 MB  1:30 left"},
      {unsized, 100, "raw.jpg  700 B  70 B/s"},
      // The name gives way first, the rest is cut at the edge.
      {file, 75, "boat.jpg  [#####...............]  25%  512.0 KB of 2.0 MB  256.0 KB/s  0:06"},
      {crawl, 70, "Holiday p~  [#####...............]  25%  3 pictures, 1.5 MB  1:30 left"},
      {crawl, 60, "Holiday~  [#####...............]  25%  3 pictures, 1.5 MB  1"},
      {wide, 40, "Ünïcödé na~  [##########..........]  50%"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.figures.name + " in " + std::to_string(c.width));
    EXPECT_EQ(ProgressLine(c.figures, c.width), c.line);
  }
  EXPECT_EQ(ByteCount(1023), "1023 B");
  EXPECT_EQ(ByteCount(5ull << 30), "5.0 GB");
  EXPECT_EQ(Duration(3723), "1:02:03");

  RateMeter meter;
  const RateMeter::Clock::time_point t0{};
  using std::chrono::seconds;
  meter.Sample(t0, 0);
  EXPECT_FALSE(meter.PerSecond()) << "one sample tells no rate";
  meter.Sample(t0 + seconds(2), 2000);
  EXPECT_DOUBLE_EQ(*meter.PerSecond(), 1000.0);
  // Only the last few seconds count: a stall shows as a falling rate.
  for (int s = 3; s <= 12; ++s) meter.Sample(t0 + seconds(s), 2000);
  EXPECT_DOUBLE_EQ(*meter.PerSecond(), 0.0);
}

// Runs a shell command; its standard output and whether it succeeded.
std::pair<std::string, bool> Shell(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {"", false};
  char buffer[4096];
  while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
  return {out, pclose(pipe) == 0};
}

TEST(CommandLine, TheManualPageAndTheCompletionSayWhatTheHelpSays) {
  const std::string page = ManPage();
  Arguments unused;
  const auto app = MakeParser(unused);
  std::vector<const CLI::App*> apps{app.get()};
  for (const CLI::App* sub : app->get_subcommands([](const CLI::App*) { return true; }))
    apps.push_back(sub);
  const std::string completion = test::ReadFile(TAVRINOX_COMPLETION);
  ASSERT_FALSE(completion.empty()) << "the build writes " << TAVRINOX_COMPLETION;
  EXPECT_EQ(completion, BashCompletion());
  for (const CLI::App* a : apps) {
    SCOPED_TRACE(a->get_name());
    if (a != app.get()) {
      EXPECT_NE(page.find(".SS " + a->get_name() + "\n"), std::string::npos);
    }
    for (const CLI::Option* o : a->get_options()) {
      for (const std::string& name : o->get_lnames()) {
        std::string escaped = "\\-\\-" + name;
        for (std::size_t at = 4; (at = escaped.find('-', at)) != std::string::npos; at += 2)
          escaped.insert(at, "\\");
        EXPECT_NE(page.find(escaped), std::string::npos) << name;
        EXPECT_NE(completion.find("--" + name), std::string::npos) << name;
      }
    }
  }
  for (const HelpSection& s : HelpSections())
    EXPECT_NE(page.find(".SH " + std::string(s.title) + "\n"), std::string::npos);

  // groff reads it without a warning, and shows what --help shows.
  test::TempDir dir("tvx-man");
  const auto file = dir.Write("tavrinox.1", page);
  auto [text, ok] = Shell("groff -man -Tutf8 -ww -rLL=200n '" + file.string() + "' 2>&1");
  if (!ok && text.find("not found") != std::string::npos) GTEST_SKIP() << "no groff";
  ASSERT_TRUE(ok) << text;
  EXPECT_EQ(text.find("warning"), std::string::npos) << text;
  EXPECT_NE(text.find("30 2 * * * tavrinox --dir \"$HOME/Tavrinox\" --quiet run"),
            std::string::npos);

  // bash completes commands, options and their values.
  struct Case {
    const char* line;  // the words so far, the last one being completed
    const char* offered;
  };
  const Case cases[] = {
      {"tavrinox cr", "crawl"},
      {"tavrinox --dir / l", "list"},
      {"tavrinox list downloaded-", "downloaded-files downloaded-sites"},
      {"tavrinox crawl http://x/ --cl", "--classic"},
      {"tavrinox search cats --engine d", "duckduckgo"},
      {"tavrinox crawl x --types jpg,p", "jpg,png"},
      {"tavrinox get --q", "--quiet"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    auto [offered, done] = Shell(std::string("bash -c 'source \"") + TAVRINOX_COMPLETION +
                                 "\"; COMP_WORDS=(" + c.line +
                                 "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _tavrinox; "
                                 "echo \"${COMPREPLY[*]}\"'");
    EXPECT_TRUE(done);
    EXPECT_EQ(offered, std::string(c.offered) + "\n");
  }
}

}  // namespace
}  // namespace tvx::cli
