#include "crawler/CrawlWorker.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "crawler/LinkAdmission.h"
#include "crawler/ModernCrawl.h"
#include "crawler/UrlRules.h"
#include "net/Internet.h"
#include "store/Lists.h"
#include "store/SiteOptions.h"

namespace tvx {
namespace {

constexpr std::size_t kBlock = 255;
constexpr std::size_t kPageBuffer = 8192;
// Byte progress reaches the window at most this often; the last figure of a
// file is always shown.
constexpr auto kProgressInterval = std::chrono::milliseconds(50);

std::string KilobytesRead(std::uint64_t bytes) {
  char text[64];
  std::snprintf(text, sizeof text, "%.02fk read", static_cast<double>(bytes) / 1024.0);
  return text;
}

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using LocalFile = std::unique_ptr<std::FILE, FileCloser>;

class Crawl {
 public:
  Crawl(WorkerEnv& env, const SiteProject& project) : env_(env), state_(project) {}

  int Run() {
    Begin();
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

  void Begin() {
    ::mkdir("Pictures", 0755);
    // A project name that would lead out of Pictures gets no folder; its
    // files are refused one by one as they come.
    if (!HasIllegalChars(state_.projectFolder))
      ::mkdir(ToFsPath(state_.projectFolder).c_str(), 0755);
    ComputeRow();
    if (row_) Stops(WorkerKind::Site).Set(*row_, 1);
    env_.OnUi([&] { node_ = env_.reporter.FindOrAddProject(state_.Name()); });
    env_.EnsureBusy();
  }

  // The project's row now, or nullopt when it has left RequestedSites. Call
  // on the user-interface side only.
  std::optional<int> RowNow() const {
    int index = RequestedSites.Find(state_.Name());
    if (index < 0) return std::nullopt;
    return RowOfIndex(RequestedSites.GetCount(), index);
  }

  void ComputeRow() {
    env_.OnUi([&] { row_ = RowNow(); });
  }

  bool IsCurrent() const {
    return row_ && *row_ == CurrentRow.load() && ListKind.load() == kListRequestedSites;
  }

  // Sets a status-view text when the project's row is the one the view follows.
  void ShowIfCurrent(StatusField field, const std::string& text) {
    if (!IsCurrent()) return;
    env_.OnUi([&] {
      if (IsCurrent()) env_.reporter.SetStatusText(field, text);
    });
  }

  bool StopRequested() const { return row_ && Stops(WorkerKind::Site).Get(*row_) != 0; }

  Outcome Fetch(const std::string& url, bool isStartUrl) {
    state_.url = url;
    std::optional<net::UrlParts> parts = net::ParseUrl(url);
    if (!parts || url.size() > kMaxCrawlUrl) {
      // Nothing sensible can be requested for it. Only the start URL counts
      // as an error: without it the crawl has fetched nothing at all.
      ShowIfCurrent(StatusField::Status, "Malformed URL : " + url);
      if (isStartUrl) state_.errorFlag = true;
      return Outcome::Next;
    }
    // An https URL is fetched over TLS; any other scheme is still asked
    // over plain HTTP, as the split gave it.
    const bool tls = parts->scheme == "https";
    if (parts->scheme != "http" && !tls)
      ShowIfCurrent(StatusField::Status, "Malformed URL : " + url);

    LocalFile file;
    std::string filePath;
    try {
      net::Session session("Tavrinox");
      session.SetConnectOptions(60000, 10, 200);
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
        if (!state_.pageFolder.empty()) CreateSubfolders(state_.projectFolder, state_.pageFolder);
        filePath = state_.projectFolder + state_.pageFolder + '\\' + std::string(LastSegment(url));
        if (HasIllegalChars(filePath)) {
          ShowIfCurrent(StatusField::Status, filePath + " has illegal chars");
          return Outcome::Next;
        }
        file.reset(std::fopen(ToFsPath(filePath).c_str(), "wb"));
        if (!file) {
          ShowIfCurrent(StatusField::Status, "Error creating " + filePath);
          return Outcome::Next;
        }
      }
      if (row_) Stops(WorkerKind::Site).Set(*row_, 0);
      ComputeRow();

      Outcome outcome = page ? ReadPage(*request) : CopyFile(*request, file.get(), filePath);
      request->Close();
      if (outcome == Outcome::Stopped) return outcome;  // a partial file stays, untracked
      if (file) {
        std::FILE* f = file.release();
        if (std::fclose(f) != 0) throw net::InternetError("Error writing " + filePath);
        env_.OnUi([&] { env_.reporter.AddFile(node_, filePath); });
      }
    } catch (const net::InternetError& e) {
      file.reset();
      state_.progressText = net::FailureText(e.what());
      ComputeRow();
      ShowIfCurrent(StatusField::Status, "Error retrieving page");
      state_.errorFlag = true;
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

  Outcome CopyFile(net::Transfer& request, std::FILE* out, const std::string& filePath) {
    ShowIfCurrent(StatusField::LastAction, "Dowloading " + filePath + "...");
    char block[kBlock];
    std::uint64_t total = 0;
    std::uint64_t shownTotal = 0;
    auto lastShown = std::chrono::steady_clock::now() - kProgressInterval;
    for (;;) {
      env_.Checkpoint();
      std::size_t n = request.Read(block, kBlock);
      if (n == 0) break;
      env_.EnsureBusy();
      if (StopRequested()) return Outcome::Stopped;
      if (std::fwrite(block, 1, n, out) != n) throw net::InternetError("Error writing " + filePath);
      total += n;
      state_.progressText = KilobytesRead(total);
      auto now = std::chrono::steady_clock::now();
      if (now - lastShown >= kProgressInterval) {
        lastShown = now;
        shownTotal = total;
        ShowIfCurrent(StatusField::Status, state_.progressText);
      }
    }
    if (std::fflush(out) != 0) throw net::InternetError("Error writing " + filePath);
    if (shownTotal != total) ShowIfCurrent(StatusField::Status, state_.progressText);
    return Outcome::Next;
  }

  void ReportStopped() {
    env_.OnUi([&] {
      row_ = RowNow();
      if (row_) {
        RequestedSites.Update(IndexOfRow(RequestedSites.GetCount(), *row_),
                              [](SiteProject& p) { SetText(p.status, "Stopped"); });
        if (ListKind.load() == kListRequestedSites) env_.reporter.SetRowStatus(*row_, "Stopped");
      }
      if (IsCurrent()) env_.reporter.SetStatusText(StatusField::Status, "Download Stopped");
    });
    env_.EndBusy();
  }

  // The stack has run empty: a run without errors moves the project to the
  // downloaded web sites, one with errors leaves it requested.
  void Finish() {
    env_.OnUi([&] {
      row_ = RowNow();
      if (!row_) return;  // deleted while it ran: nothing of it is left to update
      const int row = *row_;
      const int index = IndexOfRow(RequestedSites.GetCount(), row);
      const int kind = ListKind.load();
      if (state_.errorFlag) {
        if (kind == kListRequestedSites) {
          env_.reporter.SetRowStatus(row, "Some errors occurred");
          if (row == CurrentRow.load()) {
            env_.reporter.SetStatusText(StatusField::LastAction, "Download completed");
            env_.reporter.SetStatusText(StatusField::Status, "Some errors occurred");
          }
        }
        RequestedSites.Update(index,
                              [](SiteProject& p) { SetText(p.status, "Some errors occurred"); });
        return;
      }
      if (kind == kListRequestedSites) {
        if (row == CurrentRow.load()) {
          env_.reporter.SetStatusText(StatusField::LastAction, "Download completed");
          env_.reporter.SetStatusText(StatusField::Status, "Success");
        }
        env_.reporter.DeleteRow(row);
      }
      RequestedSites.Update(index, [](SiteProject& p) { SetText(p.status, "Success"); });
      DownloadedSites.Add(*RequestedSites.CopyAt(index));
      if (kind == kListDownloadedSites) {
        env_.reporter.InsertTopRow(state_.Name());
        env_.reporter.SetRowStatus(0, "Success");
      }
      RequestedSites.RemoveAt(index);
      CurrentRow.fetch_sub(1);
    });
    env_.EndBusy();
  }

  WorkerEnv& env_;
  CrawlState state_;
  std::optional<int> row_;
  ProjectNode node_ = 0;
};

}  // namespace

int RunCrawl(WorkerEnv& env, const SiteProject& project) {
  const SiteOptions options = OptionsOfSite(TextOf(project.name));
  if (options.modernLinks) return RunModernCrawl(env, project, options.transfersPerHost);
  Crawl crawl(env, project);
  return crawl.Run();
}

std::shared_ptr<WorkerHandle> StartCrawlWorker(const SiteProject& project, std::size_t stackSize) {
  SiteProject copy = project;  // the crawl works from its own copy if the record goes
  return LaunchWorker(WorkerKind::Site, std::string(TextOf(copy.name)), stackSize,
                      [copy](WorkerEnv& env) { RunCrawl(env, copy); });
}

}  // namespace tvx
