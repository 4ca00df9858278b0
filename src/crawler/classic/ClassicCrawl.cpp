#include "crawler/classic/ClassicCrawl.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "crawler/CrawlRun.h"
#include "crawler/classic/LinkAdmission.h"
#include "crawler/classic/UrlRules.h"
#include "files/LocalPath.h"
#include "files/PartialFile.h"
#include "files/PictureFile.h"
#include "files/TransferCopy.h"
#include "net/Internet.h"

namespace tvx {
namespace {

constexpr std::size_t kPageBuffer = 8192;
// Byte progress reaches the window at most this often; the last figure of a
// file is always shown.
constexpr auto kProgressInterval = std::chrono::milliseconds(50);

class Crawl {
 public:
  Crawl(WorkerEnv& env, const SiteProject& project, std::shared_ptr<const net::CookieJar> cookies)
      : env_(env),
        item_(env.Item()),
        state_(project, &env.engine.lists.requestedSites, item_.id),
        cookies_(std::move(cookies)) {}

  int Run() {
    if (!NameUsable()) {
      RefuseName();
      return kCrawlDone;
    }
    Begin();
    if (!folderMade_) {
      // A link or a file where the folder should be: nothing could be saved.
      const std::string reason = "Error creating " + state_.projectFolder.Shown();
      ShowIfCurrent(StatusField::Status, reason);
      errors_.Add(reason);
      Finish();
      return kCrawlDone;
    }
    bool first = true;
    while (!state_.stack.Empty()) {
      env_.Checkpoint();
      std::string url = std::string(TrimBlanks(state_.stack.Pop()));
      if (Fetch(url, first) == Outcome::Stopped) {
        ReportStopped();
        return kCrawlStopped;
      }
      first = false;
    }
    Finish();
    return kCrawlDone;
  }

 private:
  enum class Outcome { Next, Stopped };

  // The name is checked again here, whatever made the project: every file
  // of a name that cannot be a folder below Pictures would be refused.
  bool NameUsable() const {
    return state_.projectFolder.Usable() && !HasIllegalChars(state_.projectFolder.Shown());
  }

  // Ends the run before anything is fetched or written; the project stays
  // requested, with the reason in the status view.
  void RefuseName() {
    errors_.Add(state_.projectFolder.Shown() + " has illegal chars");
    Finish();
  }

  void Begin() {
    folderMade_ = state_.projectFolder.MakeFolder();
    env_.OnUi([&] { node_ = env_.reporter.FindOrAddProject(state_.Name()); });
    env_.EnsureBusy();
  }

  // Sets a status-view text while the view follows the project.
  void ShowIfCurrent(StatusField field, const std::string& text) {
    if (!env_.reporter.MayShowStatusOf(item_)) return;
    env_.OnUi([&] { env_.reporter.ItemStatusText(item_, field, text); });
  }

  // The row's bar: pictures saved against the picture links queued so far.
  void ShowPictureProgress() {
    if (state_.pictureLinks == 0 || !env_.reporter.MayShowList(item_.list)) return;
    env_.OnUi([&] {
      env_.reporter.ItemProgress(item_, static_cast<std::uint64_t>(state_.picturesSaved),
                                 static_cast<std::uint64_t>(state_.pictureLinks));
    });
  }

  bool StopRequested() const { return env_.StopRequested(); }

  Outcome Fetch(const std::string& url, bool isStartUrl) {
    state_.url = url;
    std::optional<net::UrlParts> parts = net::ParseUrl(url);
    if (!parts || url.size() > kMaxCrawlUrl) {
      // Nothing sensible can be requested for it. Only the start URL counts
      // as an error: without it the crawl has fetched nothing at all.
      ShowIfCurrent(StatusField::Status, "Malformed URL : " + url);
      if (isStartUrl) errors_.Add();
      return Outcome::Next;
    }
    // An https URL is fetched over TLS; any other scheme is still asked
    // over plain HTTP, as the split gave it.
    const bool tls = parts->scheme == "https";
    if (parts->scheme != "http" && !tls)
      ShowIfCurrent(StatusField::Status, "Malformed URL : " + url);

    // Written as a partial file that takes its name only when whole, and
    // removed when it is not: a file cut short, failed or stopped.
    std::optional<PartialFile> file;
    std::string filePath;
    try {
      net::Session session("Tavrinox");
      session.SetConnectOptions(60000, 10, 200);
      session.SetCookies(cookies_);
      ShowIfCurrent(StatusField::LastAction, "Opening " + url);
      auto request =
          session.OpenRequest(parts->server, parts->port, parts->path,
                              {"Accept: text/*", "User-Agent: Quillanto"}, tls ? "https" : "http");
      if (request->StatusCode() != 200) {
        ShowIfCurrent(StatusField::Status, url + " not found");
        return Outcome::Next;
      }
      ShowIfCurrent(StatusField::LastAction, "Reading " + url);
      request->SetReadBufferSize(kPageBuffer);
      state_.pageFolder = GetLocalSubfolder(state_.siteRoot, url);
      const bool page = IsPageUrl(url);
      if (page) {
        ShowIfCurrent(StatusField::LastAction, "Retrieving links...");
      } else {
        // The writer makes the site's folders below the project folder as it
        // creates the file, following no link on the way.
        const LocalPath path =
            state_.projectFolder.Below(state_.pageFolder).Child(LastSegment(url));
        filePath = path.Shown();
        if (!path.Usable() || HasIllegalChars(filePath)) {
          ShowIfCurrent(StatusField::Status, filePath + " has illegal chars");
          return Outcome::Next;
        }
        if (IsProgramName(path.Leaf())) {
          ShowIfCurrent(StatusField::Status, ProgramNameText(filePath));
          return Outcome::Next;
        }
        try {
          file.emplace(path);
        } catch (const LocalFileError& e) {
          ShowIfCurrent(StatusField::Status, e.what());
          return Outcome::Next;
        }
      }

      Outcome outcome = page ? ReadPage(*request) : CopyFile(*request, file->Writer(), filePath);
      request->Close();
      if (outcome == Outcome::Stopped) return outcome;  // its partial file goes with it
      if (file) {
        file->Finish();
        ++state_.picturesSaved;
        env_.OnUi([&] { env_.reporter.AddFile(node_, filePath); });
      }
      ShowPictureProgress();
    } catch (const LocalFileError& e) {
      // The page was fetched but its file cannot be kept (the disk is at its
      // free-space floor, or a write failed): said as it is, an error all the same.
      file.reset();
      state_.progressText = net::FailureText(e.what());
      ShowIfCurrent(StatusField::Status, state_.progressText);
      errors_.Add(state_.progressText);
    } catch (const net::InternetError& e) {
      file.reset();
      state_.progressText = net::FailureText(e.what());
      ShowIfCurrent(StatusField::Status, "Error retrieving page");
      errors_.Add(IsReasonToShow(state_.progressText) ? state_.progressText : std::string());
    }
    return Outcome::Next;
  }

  Outcome ReadPage(net::Transfer& request) {
    const LinkQueued onQueued = [&](const std::string& text) {
      env_.OnUi([&] { env_.reporter.SetStatusText(StatusField::Status, text); });
    };
    std::string line;
    while (request.ReadLine(line)) {
      env_.Checkpoint();
      env_.EnsureBusy();
      if (StopRequested()) return Outcome::Stopped;
      if (AdmitLink(state_, line, onQueued) == Admission::EndPage) break;
    }
    return Outcome::Next;
  }

  Outcome CopyFile(net::Transfer& request, LocalFileWriter& out, const std::string& filePath) {
    ShowIfCurrent(StatusField::LastAction, "Dowloading " + filePath + "...");
    PauseGate& gate = env_.self.Gate();
    using Clock = std::chrono::steady_clock;
    Clock::time_point lastShown = Clock::now() - kProgressInterval;
    std::uint64_t total = 0;
    std::uint64_t shownTotal = 0;
    CopySteps steps;
    steps.stopRequested = [&] { return StopRequested(); };
    steps.progress = [&](std::uint64_t bytes) {
      env_.EnsureBusy();
      total = bytes;
      state_.progressText = KilobytesRead(bytes);
      Clock::time_point now = Clock::now();
      if (now - lastShown < kProgressInterval) return true;
      // A paused crawl shows nothing until it goes on (Stop has just
      // written "Download Stopped").
      bool shown = true;
      env_.OnUi([&] {
        shown = !gate.IsPaused();
        if (shown) env_.reporter.ItemStatusText(item_, StatusField::Status, state_.progressText);
      });
      if (shown) {
        lastShown = now;
        shownTotal = bytes;
      }
      return shown;
    };
    steps.beforeRead = [&] { gate.Pass(); };
    if (CopyTransfer(request, out, steps) == CopyOutcome::Stopped) return Outcome::Stopped;
    if (shownTotal != total) ShowIfCurrent(StatusField::Status, state_.progressText);
    return Outcome::Next;
  }

  void ReportStopped() {
    env_.OnUi([&] { ShowCrawlStopped(env_.engine, item_); });
    env_.EndBusy();
  }

  // The stack has run empty: a run without errors moves the project to the
  // downloaded web sites, one with errors leaves it requested and shows the
  // first reason it had.
  void Finish() {
    env_.OnUi(
        [&] { EndCrawlRun(env_.engine, item_, state_.Name(), errors_.Any(), errors_.Shown()); });
    env_.EndBusy();
  }

  WorkerEnv& env_;
  const ItemRef item_;
  CrawlState state_;
  RunErrors errors_;
  bool folderMade_ = false;
  std::shared_ptr<const net::CookieJar> cookies_;
  ProjectNode node_ = 0;
};

}  // namespace

int RunClassicCrawl(WorkerEnv& env, const SiteProject& project,
                    std::shared_ptr<const net::CookieJar> cookies) {
  Crawl crawl(env, project, std::move(cookies));
  return crawl.Run();
}

}  // namespace tvx
