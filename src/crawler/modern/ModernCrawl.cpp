#include "crawler/modern/ModernCrawl.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "crawler/CrawlRun.h"
#include "crawler/modern/HtmlLinks.h"
#include "crawler/modern/LinkFrontier.h"
#include "crawler/modern/ModernUrl.h"
#include "files/LocalPath.h"
#include "net/ParallelFetch.h"
#include "store/SiteOptions.h"

namespace tvx {
namespace {

using Clock = std::chrono::steady_clock;
using Flags = LinkFrontier::Flags;

// Texts that change with every URL or block reach the window at most this
// often; the last one is shown when its time comes.
constexpr auto kTextInterval = std::chrono::milliseconds(50);
// How long one round of the transfers may wait for the network.
constexpr int kRoundMs = 100;

// A link's flags: how many redirects led to it, and whether it is the
// start URL or where the start URL led.
constexpr Flags kHopMask = 0x0F;
constexpr Flags kFromStart = 0x10;

std::string LinksFound(int count) {
  char text[64];
  std::snprintf(text, sizeof text, "%d links found", count);
  return text;
}

class ModernCrawl {
 public:
  ModernCrawl(WorkerEnv& env, const SiteProject& project, int transfersPerHost,
              std::shared_ptr<const net::CookieJar> cookies)
      : env_(env),
        item_(env.Item()),
        name_(TextOf(project.name)),
        settings_(project),
        types_(PictureTypes::Of(project)),
        perHost_(std::clamp(transfersPerHost, kMinTransfersPerHost, kMaxTransfersPerHost)),
        fetcher_(net::ParallelFetcher::Options{
            "Quillanto",
            {"Accept: text/html,application/xhtml+xml,image/*;q=0.9,*/*;q=0.5"},
            perHost_,
            std::move(cookies)}),
        projectFolder_(LocalPath::ForProject(name_)) {}

  int Run() {
    Begin();
    if (!projectFolder_.Usable()) {
      ShowNow(StatusField::Status, projectFolder_.Shown() + " has illegal chars");
      errorFlag_ = true;
    } else {
      QueueStart();
    }
    while (true) {
      env_.Checkpoint();
      if (StopRequested()) {
        fetcher_.StopAll();  // files not finished are removed
        ReportStopped();
        return kCrawlStopped;
      }
      StartTransfers();
      if (fetcher_.Active() == 0) break;
      try {
        fetcher_.Run(kRoundMs);
      } catch (const net::InternetError& e) {
        fetcher_.StopAll();
        Failed(e.what());
        break;
      }
      env_.EnsureBusy();
      FlushTexts(false);
    }
    FlushLinks();
    if (barOwed_) ShowBar(true);
    Finish();
    return kCrawlDone;
  }

 private:
  class Fetch;
  friend class Fetch;

  struct Throttled {
    Throttled(StatusField f, bool any) : field(f), anyRow(any) {}
    StatusField field;
    bool anyRow;  // shown whatever row the status view follows
    Clock::time_point last{};
    std::string pending;
    bool hasPending = false;
  };

  // --- start and end ----------------------------------------------------------

  void Begin() {
    if (projectFolder_.Usable()) projectFolder_.MakeFolder();
    env_.OnUi([&] { node_ = env_.reporter.FindOrAddProject(name_); });
    env_.EnsureBusy();
  }

  void QueueStart() {
    const std::string written(TextOf(settings_.startUrl));
    std::optional<std::string> start = StartWebUrl(written);
    if (!start) {
      std::string shown(TrimBlanks(written));
      if (shown.find("://") == std::string::npos) shown.insert(0, "http://");
      ShowNow(StatusField::Status, "Malformed URL : " + shown);
      errorFlag_ = true;
      return;
    }
    const std::string host(SplitWebUrl(*start).host);
    AddStartHost(host);
    frontier_.Add(*start, host, kFromStart);
  }

  void ReportStopped() {
    env_.OnUi([&] { ShowCrawlStopped(env_.engine, item_); });
    env_.EndBusy();
  }

  // No URL is left: a run without errors moves the project to the
  // downloaded web sites, one with errors leaves it requested.
  void Finish() {
    env_.OnUi([&] { EndCrawlRun(env_.engine, item_, name_, errorFlag_); });
    env_.EndBusy();
  }

  bool StopRequested() const { return env_.StopRequested(); }

  void Put(StatusField field, const std::string& text, bool anyRow) {
    if (!anyRow && !env_.reporter.MayShowStatusOf(item_)) return;
    env_.OnUi([&] {
      if (anyRow)
        env_.reporter.SetStatusText(field, text);
      else
        env_.reporter.ItemStatusText(item_, field, text);
    });
  }

  // A text that must be seen: shown at once, and no older progress text
  // of its field is shown after it (the link count still is).
  void ShowNow(StatusField field, const std::string& text) {
    for (Throttled* t : {&action_, &progress_})
      if (t->field == field) t->hasPending = false;
    Put(field, text, false);
  }

  void Show(Throttled& t, const std::string& text) {
    const Clock::time_point now = Clock::now();
    if (now - t.last >= kTextInterval) {
      t.last = now;
      t.hasPending = false;
      Put(t.field, text, t.anyRow);
    } else {
      t.pending = text;
      t.hasPending = true;
    }
  }

  void FlushTexts(bool force) {
    if (barOwed_) ShowBar(force);
    const Clock::time_point now = Clock::now();
    for (Throttled* t : {&action_, &progress_, &links_}) {
      if (!t->hasPending || (!force && now - t->last < kTextInterval)) continue;
      t->last = now;
      t->hasPending = false;
      Put(t->field, t->pending, t->anyRow);
    }
  }

  // The bar behind the row's status, at most as often as the texts change;
  // force: now (the last figures of a round).
  void ShowBar(bool force) {
    if (picturesMet_ == 0) return;
    const Clock::time_point now = Clock::now();
    if (!force && now - barTime_ < kTextInterval) {
      barOwed_ = true;
      return;
    }
    barTime_ = now;
    barOwed_ = false;
    if (!env_.reporter.MayShowList(item_.list)) return;
    env_.OnUi([&] {
      env_.reporter.ItemProgress(item_, static_cast<std::uint64_t>(picturesSaved_),
                                 static_cast<std::uint64_t>(picturesMet_));
    });
  }

  void FlushLinks() {
    if (!links_.hasPending) return;
    links_.hasPending = false;
    Put(links_.field, links_.pending, true);
  }

  // --- links -----------------------------------------------------------------

  // The project's settings as they stand now, so an edit made while the
  // crawl runs applies to the links met afterwards.
  void RefreshSettings() {
    if (std::optional<SiteProject> record = env_.engine.lists.requestedSites.CopyOf(item_.id))
      settings_ = *record;
    types_ = PictureTypes::Of(settings_);
  }

  bool IsStartHost(std::string_view host) const {
    for (const std::string& h : startHosts_)
      if (h == host) return true;
    return false;
  }

  void AddStartHost(const std::string& host) {
    if (!IsStartHost(host)) startHosts_.push_back(host);
    domains_.insert(host);
  }

  // Queues url when the project wants it. false: the crawl has reached more
  // sites than the project allows, and the rest of the page is left.
  bool Admit(const std::string& url, Flags flags) {
    if (frontier_.Contains(url)) return true;
    if (KindOfUrl(url, types_) == UrlKind::Skip) return true;
    const std::string host(SplitWebUrl(url).host);
    if (!settings_.exitDomain && !IsStartHost(host)) return true;
    if (settings_.exitDomain) {
      if (domains_.insert(host).second) ++domainCount_;
      if (settings_.maxDomainCount != 0 && domainCount_ > settings_.maxDomainCount) return false;
    }
    if (!frontier_.Add(url, host, flags)) return true;
    if (KindOfUrl(url, types_) == UrlKind::Picture) {
      ++picturesMet_;
      ShowBar(false);
    }
    ++linkCount_;
    progressText_ = LinksFound(linkCount_);
    Show(links_, progressText_);
    return true;
  }

  void FollowRedirect(const LinkFrontier::Taken& from, const std::string& location) {
    const int hops = from.flags & kHopMask;
    if (hops >= kMaxRedirects) return;
    std::optional<std::string> target = UrlResolver(from.url).Resolve(location);
    if (!target) return;
    const Flags flags = static_cast<Flags>((hops + 1) | (from.flags & kFromStart));
    const std::string host(SplitWebUrl(*target).host);
    // Where the start URL leads is the site, whatever host it names.
    if (from.flags & kFromStart) AddStartHost(host);
    RefreshSettings();
    if (VisitKey(*target) == VisitKey(from.url)) {
      // The same address over the other scheme (http to https, mostly).
      if (*target != from.url) frontier_.Requeue(*target, host, flags);
      return;
    }
    Admit(*target, flags);
  }

  void StartTransfers();

  // --- what transfers report ---------------------------------------------------

  void Failed(const std::string& message) {
    progressText_ = net::FailureText(message);
    ShowNow(StatusField::Status, "Error retrieving page");
    errorFlag_ = true;
  }

  void Saved(const std::string& shownPath) {
    env_.OnUi([&] { env_.reporter.AddFile(node_, shownPath); });
    ++picturesSaved_;
    ShowBar(false);
  }

  // Where the file of url goes; extension: see LocalPlaceOf.
  LocalPath PathFor(const std::string& url, std::string_view extension) const {
    const bool startSite = IsStartHost(SplitWebUrl(url).host);
    LocalPlace place = LocalPlaceOf(url, startSite, extension, 255);
    const LocalPath folder = projectFolder_.Below(place.folders);
    const std::size_t used = folder.Shown().size() + 1;
    if (used + place.name.size() > kMaxShownPath && used < kMaxShownPath)
      place = LocalPlaceOf(url, startSite, extension, kMaxShownPath - used);
    return folder.Child(place.name);
  }

  static constexpr std::size_t kMaxActive = 64;

  WorkerEnv& env_;
  const ItemRef item_;
  std::string name_;
  SiteProject settings_;
  PictureTypes types_;
  int perHost_;
  net::ParallelFetcher fetcher_;
  LinkFrontier frontier_;
  LocalPath projectFolder_;
  std::vector<std::string> startHosts_;
  std::unordered_set<std::string> domains_;  // hosts met while leaving the start site
  int domainCount_ = 1;
  int linkCount_ = 0;
  // The row's bar: pictures saved against the pictures met so far (links
  // that name one, and answers that turned out to be one).
  int picturesMet_ = 0;
  int picturesSaved_ = 0;
  Clock::time_point barTime_{};
  bool barOwed_ = false;
  bool errorFlag_ = false;
  std::string progressText_;
  ProjectNode node_ = 0;
  Throttled action_{StatusField::LastAction, false};
  Throttled progress_{StatusField::Status, false};
  Throttled links_{StatusField::Status, true};
};

// One URL's transfer: a page read for links, or a picture written below the
// project's folder.
class ModernCrawl::Fetch final : public net::FetchClient, private HtmlLinkSink {
 public:
  Fetch(ModernCrawl& crawl, LinkFrontier::Taken taken, bool picture)
      : crawl_(crawl), taken_(std::move(taken)), picture_(picture) {}

  ~Fetch() override {
    if (file_) file_->Discard();  // a picture cut short is no picture
  }

  net::BodyUse OnHead(const net::ResponseHead& head) override {
    const std::string& url = taken_.url;
    if (head.status >= 300 && head.status < 400 && !head.location.empty()) {
      crawl_.FollowRedirect(taken_, head.location);
      return net::BodyUse::Drop;
    }
    if (head.status != 200) {
      crawl_.ShowNow(StatusField::Status, url + " not found");
      return net::BodyUse::Drop;
    }
    crawl_.Show(crawl_.action_, "Reading " + url);
    if (picture_) return OpenFile({});
    if (IsHtmlType(head.contentType)) {
      crawl_.Show(crawl_.action_, "Retrieving links...");
      crawl_.RefreshSettings();
      resolver_ = std::make_unique<UrlResolver>(url);
      reader_ = std::make_unique<HtmlLinkReader>(static_cast<HtmlLinkSink&>(*this));
      return net::BodyUse::Take;
    }
    const std::string extension = crawl_.types_.ExtensionFor(head.contentType);
    if (!extension.empty()) {
      ++crawl_.picturesMet_;
      return OpenFile(extension);
    }
    return net::BodyUse::Stop;  // neither a page nor a picture the project wants
  }

  bool OnBody(const char* data, std::size_t size) override {
    if (reader_) return reader_->Feed(data, size);
    if (!file_) return false;
    try {
      file_->Write(data, size);
    } catch (const LocalFileError& e) {
      problem_ = e.what();
      return false;
    }
    bytes_ += size;
    crawl_.Show(crawl_.progress_, KilobytesRead(bytes_));
    return true;
  }

  void OnEnd(const std::string& failure) override {
    crawl_.frontier_.Done(taken_.host);
    if (!failure.empty()) problem_ = failure;
    if (reader_) reader_->Finish();
    if (file_ && problem_.empty()) {
      try {
        file_->Finish();
        const std::string shown = file_->Path().Shown();
        file_.reset();
        crawl_.Saved(shown);
      } catch (const LocalFileError& e) {
        problem_ = e.what();
      }
    }
    if (!problem_.empty()) {
      if (file_) file_->Discard();
      file_.reset();
      crawl_.Failed(problem_);
    }
  }

 private:
  net::BodyUse OpenFile(std::string_view extension) {
    const LocalPath path = crawl_.PathFor(taken_.url, extension);
    if (!path.Usable()) {
      crawl_.ShowNow(StatusField::Status, path.Shown() + " has illegal chars");
      return net::BodyUse::Stop;
    }
    try {
      file_ = std::make_unique<LocalFileWriter>(path);
    } catch (const LocalFileError& e) {
      crawl_.ShowNow(StatusField::Status, e.what());
      return net::BodyUse::Stop;
    }
    crawl_.Show(crawl_.action_, "Dowloading " + path.Shown() + "...");
    return net::BodyUse::Take;
  }

  bool OnLink(std::string_view link) override {
    std::optional<std::string> url = resolver_->Resolve(link);
    return !url || crawl_.Admit(*url, 0);
  }

  void OnBase(std::string_view href) override { resolver_->Rebase(href); }

  ModernCrawl& crawl_;
  LinkFrontier::Taken taken_;
  bool picture_;
  std::unique_ptr<UrlResolver> resolver_;
  std::unique_ptr<HtmlLinkReader> reader_;
  std::unique_ptr<LocalFileWriter> file_;
  std::string problem_;
  std::uint64_t bytes_ = 0;
};

void ModernCrawl::StartTransfers() {
  while (fetcher_.Active() < kMaxActive) {
    std::optional<LinkFrontier::Taken> next = frontier_.TakeNext(perHost_);
    if (!next) return;
    const int host = next->host;
    UrlKind kind = KindOfUrl(next->url, types_);
    if (kind == UrlKind::Skip) {
      // No longer wanted (the project was edited), unless it is where the
      // crawl starts: then its answer decides.
      if (!(next->flags & kFromStart)) {
        frontier_.Done(host);
        continue;
      }
      kind = UrlKind::Page;
    }
    const std::string url = next->url;
    Show(action_, "Opening " + url);
    try {
      fetcher_.Start(url,
                     std::make_unique<Fetch>(*this, std::move(*next), kind == UrlKind::Picture));
    } catch (const net::InternetError& e) {
      frontier_.Done(host);
      Failed(e.what());
    }
  }
}

}  // namespace

int RunModernCrawl(WorkerEnv& env, const SiteProject& project, int transfersPerHost,
                   std::shared_ptr<const net::CookieJar> cookies) {
  ModernCrawl crawl(env, project, transfersPerHost, std::move(cookies));
  return crawl.Run();
}

}  // namespace tvx
