#pragma once
// The program's command line: its commands, their arguments and the help
// texts, one description for the parser, --help, the manual page and the
// shell completion.
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "store/SiteOptions.h"

namespace CLI {
class App;
}  // namespace CLI

namespace tvx::cli {

// The lists `tavrinox list` prints, by the names it takes.
inline constexpr const char* kListNames[] = {
    "files", "sites", "searches", "results", "downloaded-files", "downloaded-sites"};

// What the command line asked for.
struct Arguments {
  std::string command;  // get, crawl, search, run or list
  std::string dir;      // the working folder; empty: the current one
  bool quiet = false;

  std::vector<std::string> urls;  // get

  // crawl
  std::string startUrl;
  std::string project;
  std::vector<std::string> types;
  std::string otherTypes;
  bool allFiles = false;
  bool classic = false;
  int perHost = kDefaultTransfersPerHost;
  int exitDomain = -1;  // -1: stay on the start site
  std::string cookies;
  // politeness (Modern link search only)
  bool noRobots = false;
  int waitSeconds = 0;
  int minWidth = 0, minHeight = 0;  // --min-size WxH
  int minKb = 0;
  int maxKb = 0;
  bool refetchDeleted = false;
  bool copiesAcrossProjects = false;

  // search
  std::vector<std::string> words;
  std::vector<std::string> engines;

  std::string list = "files";  // list
};

// The parser of the command line, writing into args. Its descriptions are
// the help texts.
std::unique_ptr<CLI::App> MakeParser(Arguments& args);

// The picture types --types takes.
inline constexpr const char* kPictureTypeNames[] = {"cdr", "gif", "jpg", "bmp",
                                                    "png", "tga", "tif"};

// What the manual page says beyond the commands and options; --help ends
// with the same texts. Each entry of a section is one line of its text.
struct HelpSection {
  enum Kind {
    Prose,     // paragraphs
    Table,     // a term, two spaces, what it means
    Verbatim,  // lines as they are (examples)
  };
  const char* title;
  Kind kind;
  const char* text;
};
const std::vector<HelpSection>& HelpSections();
// The sections as --help ends with them, wrapped to `width` columns.
std::string HelpSectionsText(int width = 79);

// The program's name and version, as --version prints them.
std::string VersionText();

// Whether these arguments ask for the command line rather than the window:
// anything but nothing at all or the window toolkit's own options (a single
// dash followed by a word, such as -platform or -session).
bool WantsCommandLine(int argc, const char* const* argv);

// Parses argv into args. Help and the version are printed on out, a wrong
// use on err with the usage text of the command; the exit status comes back
// then (0 after help, 2 after a wrong use), nullopt when there is work to do.
std::optional<int> ParseArguments(int argc, const char* const* argv, Arguments& args,
                                  std::ostream& out, std::ostream& err);

}  // namespace tvx::cli
