#include "cli/CommandRun.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>

#include "cli/Output.h"
#include "cli/Progress.h"
#include "cli/SearchEngines.h"
#include "cli/Signals.h"
#include "commands/Commands.h"
#include "commands/ItemCommands.h"
#include "engine/Engine.h"
#include "engine/RunTally.h"
#include "files/LocalPath.h"
#include "net/Cookies.h"
#include "net/Ftp.h"
#include "net/Url.h"

namespace tvx::cli {
namespace {

using Clock = std::chrono::steady_clock;

// How often the loop looks at the items (and redraws their lines).
constexpr int kTickMs = 100;

std::uint64_t FileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

std::string SlashPath(std::string shown) {
  std::replace(shown.begin(), shown.end(), '\\', '/');
  return shown;
}

// What the engine reports, as the command line shows it the moment it
// happens: saved pictures of a crawl, search results, messages. Everything
// else comes from the tally in the loop. Called on the user-interface side
// (under the engine's one lock).
class LineReporter final : public Reporter {
 public:
  LineReporter(Output& out, const RunTally& tally) : out_(out), tally_(tally) {}

  bool ItemAdded(ItemRef item, const std::string& text, const std::string&) override {
    TVX_ASSERT_UI_THREAD();
    if (item.list == kListSearchResults) out_.Event(text);
    return true;
  }
  void ItemRemoved(ItemRef) override {}
  void AllItemsRemoved() override {}
  void ItemStatus(ItemRef, const std::string&) override {}
  void ItemText(ItemRef, const std::string&) override {}
  void ItemProgress(ItemRef, std::uint64_t, std::uint64_t) override {}
  void FollowItem(ItemRef) override {}
  bool ItemStatusText(ItemRef, StatusField, const std::string&, WhenFollowed) override {
    return true;
  }
  void SetStatusText(StatusField, const std::string&) override {}
  void StartBusy() override {}
  void StopBusy() override {}
  ProjectNode FindOrAddProject(const std::string&) override { return ++lastNode_; }
  void AddFile(ProjectNode, const std::string& path) override {
    TVX_ASSERT_UI_THREAD();
    const std::string file = SlashPath(path);
    out_.Event("saved " + file + " " + std::to_string(FileSize(file)));
  }
  void ShowMessage(const std::string& text) override {
    TVX_ASSERT_UI_THREAD();
    // A message from the worker of an item is told with the item's end.
    if (tally_.Tracks(WorkerItemOfThisThread())) return;
    out_.Failure("tavrinox: " + OneLine(text));
  }
  // Bars are drawn only on a terminal.
  bool MayShowList(int list) const override {
    return out_.Terminal() && !out_.Quiet() &&
           (list == kListRequestedFiles || list == kListRequestedSites);
  }
  bool MayShowStatusOf(ItemRef) const override { return false; }

 private:
  Output& out_;
  const RunTally& tally_;
  ProjectNode lastNode_ = 0;
};

// The progress line of each running item, with its rate over the last few
// seconds.
class Bars {
 public:
  std::vector<std::string> Lines(const std::vector<RunTally::Item>& running, int width) {
    const Clock::time_point now = Clock::now();
    std::map<std::pair<int, ItemId>, RateMeter> kept;
    std::vector<std::string> lines;
    for (const RunTally::Item& item : running) {
      RateMeter& meter = kept[{item.ref.list, item.ref.id}];
      if (auto it = meters_.find({item.ref.list, item.ref.id}); it != meters_.end())
        meter = it->second;
      lines.push_back(ProgressLine(Figures(item, meter, now), width - 1));
    }
    meters_ = std::move(kept);
    return lines;
  }

 private:
  static ProgressFigures Figures(const RunTally::Item& item, RateMeter& meter,
                                 Clock::time_point now) {
    ProgressFigures f;
    const double elapsed = std::chrono::duration<double>(now - item.started).count();
    switch (item.ref.list) {
      case kListRequestedFiles: {
        f.name = item.text.substr(item.text.find_last_of('/') + 1);
        if (f.name.empty()) f.name = item.text;
        f.done = item.done;
        f.total = item.total;
        meter.Sample(now, item.bytesRead);
        f.amount = ByteCount(item.bytesRead);
        if (item.total > 0) f.amount += " of " + ByteCount(item.total);
        f.bytesPerSecond = meter.PerSecond();
        if (item.total > 0 && f.bytesPerSecond && *f.bytesPerSecond > 0 &&
            item.total >= item.bytesRead)
          f.secondsLeft = static_cast<double>(item.total - item.bytesRead) / *f.bytesPerSecond;
        break;
      }
      case kListRequestedSites: {
        f.name = item.text;
        f.done = item.done;
        f.total = item.total;
        meter.Sample(now, item.bytesSaved);
        f.amount = std::to_string(item.picturesSaved) + " pictures, " + ByteCount(item.bytesSaved);
        f.bytesPerSecond = meter.PerSecond();
        // By the pictures still to come, at the pace so far.
        if (item.done > 0 && item.total > item.done)
          f.secondsLeft = elapsed * static_cast<double>(item.total - item.done) /
                          static_cast<double>(item.done);
        break;
      }
      default:
        f.name = item.text;
        f.amount = std::to_string(item.linksFound) + " links found";
        break;
    }
    return f;
  }

  std::map<std::pair<int, ItemId>, RateMeter> meters_;
};

// The end of an item, as a line.
void TellEnd(Output& out, const RunTally::Ended& end, bool& failed) {
  const RunTally::Item& item = end.item;
  switch (end.outcome) {
    case RunTally::Outcome::Failed:
      failed = true;
      out.Failure("failed " + item.text + ": " + end.reason);
      return;
    case RunTally::Outcome::Stopped:
      failed = true;
      out.Failure("stopped " + item.text);
      return;
    case RunTally::Outcome::Succeeded:
      break;
  }
  if (item.ref.list == kListRequestedFiles) {
    const std::string file = LocalPath::ForSingleFile(item.text).FsPath();
    out.Event("saved " + file + " " + std::to_string(FileSize(file)));
  } else if (item.ref.list == kListRequestedSites) {
    out.Event(item.text + ": " + std::to_string(item.picturesSaved) + " pictures saved");
  }
}

template <class T>
std::vector<ItemId> AllIds(const RecordList<T>& list) {
  std::vector<ItemId> ids;
  for (int i = 0; i < list.GetCount(); ++i)
    if (ItemId id = list.IdAt(i)) ids.push_back(id);
  return ids;
}

// The URL as the program keeps a typed one.
std::string TypedUrl(const std::string& url) {
  return url.find("//") == std::string::npos ? "http://" + url : url;
}

// The name a project gets from its start URL: the host.
std::string HostName(const std::string& url) {
  std::optional<net::UrlParts> parts = net::ParseUrl(TypedUrl(url));
  return parts ? parts->server : std::string();
}

class CommandRun {
 public:
  explicit CommandRun(const Arguments& args)
      : args_(args),
        out_(::isatty(STDOUT_FILENO) == 1, args.quiet),
        tally_(engine_, &lines_),
        lines_(out_, tally_) {}

  int Run() {
    switch (engine_.LockFolder()) {
      case FolderLock::Result::HeldByAnother:
        out_.Failure(kAnotherCopyText);
        return kFolderInUse;
      case FolderLock::Result::Taken:
      case FolderLock::Result::NotLockable:
        // A folder that takes no lock file takes no list file either: the
        // save will say so.
        break;
    }
    engine_.Store().SetMessageHook(
        [this](const std::string& text) { out_.Failure("tavrinox: " + OneLine(text)); });
    engine_.Store().LoadAll();
    if (args_.command == "list") {
      PrintList();
      engine_.UnlockFolder();
      return 0;
    }
    engine_.SetUi(&tally_, nullptr);
    int status = 0;
    if (!Start()) status = kSomeFailed;
    if (!Wait()) status = kSomeFailed;
    End();
    return status;
  }

  // Workers that did not end in time may still run: the process must end
  // without destroying what they use.
  bool WorkersLeft() const { return engine_.workers.Live() > 0; }

 private:
  // Adds the command's items and starts them; false when one could not be
  // added or started.
  bool Start() {
    bool ok = true;
    engine_.AsOneStep([&] {
      if (args_.command == "get") {
        ok = StartFiles();
      } else if (args_.command == "crawl") {
        ok = StartCrawl();
      } else if (args_.command == "search") {
        ok = StartSearch();
      } else if (args_.command == "run") {
        Lists& lists = engine_.lists;
        Download(kListRequestedFiles, AllIds(lists.requestedFiles));
        Download(kListRequestedSites, AllIds(lists.requestedSites));
        Download(kListSearchProjects, AllIds(lists.searchProjects));
      }
    });
    return ok && notStarted_ == 0;
  }

  // Download on the items; each that did not start is told as failed.
  void Download(int list, const std::vector<ItemId>& ids) {
    DownloadItems(engine_, list, ids);
    for (ItemId id : ids) {
      if (tally_.Tracks({list, id})) continue;
      ++notStarted_;
      const std::string text = WithList(engine_.lists, list, [&](const auto& records) {
        auto record = records.CopyOf(id);
        return record ? std::string(KeyOf(*record)) : std::string();
      });
      out_.Failure("failed " + text + ": it could not be started");
    }
  }

  bool StartFiles() {
    RecordList<FileRecord>& files = engine_.lists.requestedFiles;
    std::vector<ItemId> ids;
    for (const std::string& typed : args_.urls) {
      const std::string url = TypedUrl(typed);
      // A URL already requested is downloaded from its row, not added twice.
      int index = files.Find(url);
      if (index < 0) {
        const int before = files.GetCount();
        AddFiles(engine_, url);
        if (files.GetCount() == before) continue;
        index = before;
      }
      const ItemId id = files.IdAt(index);
      if (id != 0 && std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
    }
    Download(kListRequestedFiles, ids);
    return true;
  }

  bool StartCrawl() {
    SiteProject project = NewWebSiteProject();
    const std::string name = args_.project.empty() ? HostName(args_.startUrl) : args_.project;
    SetText(project.name, name);
    SetText(project.startUrl, args_.startUrl);
    if (args_.allFiles) {
      project.downloadAllFiles = 1;
    } else {
      auto wants = [&](const char* type) {
        return args_.types.empty() ||
               std::find(args_.types.begin(), args_.types.end(), type) != args_.types.end();
      };
      project.typeCdr = wants("cdr");
      project.typeGif = wants("gif");
      project.typeJpg = wants("jpg");
      project.typeBmp = wants("bmp");
      project.typePng = wants("png");
      project.typeTga = wants("tga");
      project.typeTif = wants("tif");
    }
    SetText(project.otherTypes, args_.otherTypes);
    if (args_.exitDomain >= 0) {
      project.exitDomain = 1;
      project.maxDomainCount = args_.exitDomain;
    }
    SiteOptions options(!args_.classic, args_.perHost);
    options.cookieFile = args_.cookies;
    options.obeyRobots = !args_.noRobots;
    options.waitSeconds = args_.waitSeconds;
    options.minWidth = args_.minWidth;
    options.minHeight = args_.minHeight;
    options.minKb = args_.minKb;
    options.maxKb = args_.maxKb;
    options.refetchDeleted = args_.refetchDeleted;
    options.copiesAcrossProjects = args_.copiesAcrossProjects;

    RecordList<SiteProject>& sites = engine_.lists.requestedSites;
    const int before = sites.GetCount();
    // Refusals (a name in use, a name that cannot be a folder) are shown as
    // messages.
    AddWebSite(engine_, project, options);
    if (sites.GetCount() == before) return false;
    Download(kListRequestedSites, {sites.IdAt(sites.GetCount() - 1)});
    return true;
  }

  bool StartSearch() {
    std::string words;
    for (const std::string& w : args_.words) words += (words.empty() ? "" : " ") + w;
    const NewSearch made = MakeSearchProject(words, words, ChooseSearchEngines(args_.engines));
    RecordList<SearchProject>& searches = engine_.lists.searchProjects;
    AddSearchProject(engine_, made.project, made.today);
    Download(kListSearchProjects, {searches.IdAt(searches.GetCount() - 1)});
    return true;
  }

  void PrintList() {
    static const std::map<std::string, int> kLists = {{"files", kListRequestedFiles},
                                                      {"sites", kListRequestedSites},
                                                      {"searches", kListSearchProjects},
                                                      {"results", kListSearchResults},
                                                      {"downloaded-files", kListDownloadedFiles},
                                                      {"downloaded-sites", kListDownloadedSites}};
    const auto named = kLists.find(args_.list);
    const int list = named == kLists.end() ? kListRequestedFiles : named->second;
    WithList(engine_.lists, list, [&](const auto& records) {
      for (const auto& record : records.Snapshot()) {
        std::string line(KeyOf(record));
        line += '\t';
        line += TextOf(record.status);
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
      }
    });
    std::fflush(stdout);
  }

  // Tells each item's end as it comes, and draws the running ones, until
  // none runs; a quit signal stops them. False when one did not end well.
  bool Wait() {
    bool failed = false;
    bool stopping = false;
    Clock::time_point deadline{};
    while (true) {
      bool running = false;
      engine_.AsOneStep([&] {
        for (const RunTally::Ended& end : tally_.TakeEnded()) TellEnd(out_, end, failed);
        running = !tally_.Running().empty();
        if (running) out_.Draw(bars_.Lines(tally_.Running(), out_.Width()));
      });
      if (!running) break;
      if (stopping && Clock::now() >= deadline) break;
      const int signals = quit_.Wait(kTickMs);
      if (signals == 0) continue;
      // A second signal ends at once; the first gives the workers a moment
      // to close their files.
      if (stopping || signals > 1) break;
      stopping = true;
      deadline = Clock::now() + Engine::kQuitGrace;
      engine_.workers.RequestStopAll();
    }
    engine_.AsOneStep([&] {
      for (const RunTally::Ended& end : tally_.TakeEnded()) TellEnd(out_, end, failed);
      for (const RunTally::Item& item : tally_.Running()) {
        failed = true;
        out_.Failure("stopped " + item.text);
      }
      out_.ClearBlock();
    });
    return !failed && !stopping;
  }

  void End() {
    // Whatever still runs has had its moment: what is partial goes.
    engine_.Shutdown(std::chrono::milliseconds(0));
    engine_.Store().SaveAll();
    engine_.UnlockFolder();
  }

  const Arguments& args_;
  QuitSignals quit_;
  Engine engine_;
  Output out_;
  RunTally tally_;
  LineReporter lines_;
  Bars bars_;
  int notStarted_ = 0;
};

// What can be told wrong before the folder is taken.
std::optional<int> CheckBeforeStart(Arguments& args) {
  if (args.command == "crawl") {
    if (args.project.empty() && HostName(args.startUrl).empty()) {
      std::cerr << "tavrinox: no project name can be made from " << args.startUrl
                << "; name one with --project\n";
      return kWrongUse;
    }
    if (!args.cookies.empty()) {
      // The project keeps the file by a name that holds from any folder.
      std::error_code ec;
      const std::filesystem::path absolute = std::filesystem::absolute(args.cookies, ec);
      if (!ec) args.cookies = absolute.lexically_normal().string();
      try {
        net::CookieJar::Load(args.cookies);
      } catch (const net::CookieFileError& e) {
        std::cerr << "tavrinox: " << e.what() << '\n';
        return kSomeFailed;
      }
    }
  }
  return std::nullopt;
}

}  // namespace

void CommandLineMain(int argc, char** argv) {
  Arguments args;
  int status = 0;
  if (std::optional<int> ended = ParseArguments(argc, argv, args, std::cout, std::cerr)) {
    std::cout.flush();
    std::exit(*ended);
  }
  if (std::optional<int> refused = CheckBeforeStart(args)) std::exit(*refused);
  if (!args.dir.empty() && ::chdir(args.dir.c_str()) != 0) {
    std::cerr << "tavrinox: " << args.dir << ": " << std::strerror(errno) << '\n';
    std::exit(kSomeFailed);
  }
  auto run = std::make_unique<CommandRun>(args);
  status = run->Run();
  std::fflush(nullptr);
  // Workers that did not end in time keep using the engine: end without
  // destroying anything under them.
  if (run->WorkersLeft()) std::_Exit(status);
  run.reset();
  std::exit(status);
}

}  // namespace tvx::cli
