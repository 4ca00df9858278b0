#include "crawler/modern/ModernCrawl.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "crawler/CrawlLimits.h"
#include "crawler/CrawlRun.h"
#include "crawler/modern/CssLinks.h"
#include "crawler/modern/HtmlLinks.h"
#include "crawler/modern/LinkFrontier.h"
#include "crawler/modern/ModernUrl.h"
#include "crawler/modern/Robots.h"
#include "crawler/modern/TransferRamp.h"
#include "files/LocalPath.h"
#include "files/PartialFile.h"
#include "files/PictureFile.h"
#include "files/Sha256.h"
#include "net/ParallelFetch.h"
#include "net/RetryAfter.h"
#include "store/PictureArchive.h"
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

// A link's flags: how many redirects led to it, whether it is the start
// URL or where the start URL led, and whether a page or stylesheet links it
// as a stylesheet (read for its pictures, whatever its name, never saved).
constexpr Flags kHopMask = 0x0F;
constexpr Flags kFromStart = 0x10;
constexpr Flags kStylesheet = 0x20;

// The most transfers at once, pages and pictures.
constexpr std::size_t kMaxActive = 64;
// The most one page being read may hold, whatever the page: the reader
// keeps one tag (HtmlTokenizer::kMaxTagBytes) and a piece of a style block,
// each in a buffer grown by doubling, the links it resolved, and the
// transfer's own buffers.
constexpr std::size_t kPageHold = 2 * 1024 * 1024;
// A host counted while leaving the start site, beside its name.
constexpr std::size_t kDomainEntry = 64;

std::string LinksFound(int count) {
  char text[64];
  std::snprintf(text, sizeof text, "%d links found", count);
  return text;
}

// "http://host:port" of a URL: where its robots.txt is read.
std::string OriginOf(std::string_view url) {
  const std::size_t scheme = url.find("://");
  if (scheme == std::string_view::npos) return std::string(url);
  const std::size_t path = url.find_first_of("/?#", scheme + 3);
  return std::string(url.substr(0, path));
}

// The path and query of a URL, as robots.txt rules are matched against.
std::string PathAndQuery(std::string_view url) {
  const WebUrlParts parts = SplitWebUrl(url);
  std::string out(parts.path.empty() ? std::string_view("/") : parts.path);
  if (!parts.query.empty()) {
    out += '?';
    out += parts.query;
  }
  return out;
}

bool IsSlowDown(long status) { return status == 429 || status == 503; }

// How many pages may be read at once within the budget: up to half of it
// for pages, the rest for the links.
std::size_t PagesAtOnce(const CrawlLimits& limits) {
  return std::clamp<std::size_t>(limits.memoryBytes / 2 / kPageHold, 1, kMaxActive);
}

// What the links may take; never less than two of the blocks they are kept
// in, so that a budget too small for anything still crawls a little.
std::size_t LinkBytes(const CrawlLimits& limits) {
  const std::size_t pages = PagesAtOnce(limits) * kPageHold;
  return std::max<std::size_t>(limits.memoryBytes - std::min(pages, limits.memoryBytes / 2),
                               2 * LinkFrontier::kBlock);
}

class ModernCrawl {
 public:
  ModernCrawl(WorkerEnv& env, const SiteProject& project, const SiteOptions& options,
              const CrawlLimits& limits, std::shared_ptr<const net::CookieJar> cookies)
      : env_(env),
        item_(env.Item()),
        name_(TextOf(project.name)),
        settings_(project),
        options_(options),
        limits_(limits),
        types_(PictureTypes::Of(project)),
        perHost_(std::clamp(options.transfersPerHost, kMinTransfersPerHost, kMaxTransfersPerHost)),
        pagesAtOnce_(PagesAtOnce(limits)),
        fetcher_(net::ParallelFetcher::Options{
            "Quillanto",
            {"Accept: text/html,application/xhtml+xml,image/*;q=0.9,*/*;q=0.5"},
            perHost_,
            std::move(cookies)}),
        frontier_(limits.maxLinks, LinkBytes(limits)),
        projectFolder_(LocalPath::ForProject(name_)) {}

  int Run() {
    Begin();
    if (!projectFolder_.Usable()) {
      Refuse(projectFolder_.Shown() + " has illegal chars");
    } else if (!projectFolder_.MakeFolder()) {
      // A link or a file where the folder should be: nothing could be saved.
      Refuse("Error creating " + projectFolder_.Shown());
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
      if (fetcher_.Active() == 0) {
        // Links may wait for a host that asked to slow down, for the gap
        // between requests or for a retry: the wait is made in short steps,
        // so that a pause or a stop is seen at once.
        const std::optional<Clock::time_point> ready = NextReadyTime();
        if (!ready) break;
        std::this_thread::sleep_for(
            std::min<Clock::duration>(*ready - Clock::now(), std::chrono::milliseconds(kRoundMs)));
        continue;
      }
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

  class RobotsFetch;
  friend class RobotsFetch;

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
      errors_.Add();
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
    const std::string notes = EndNotes();
    std::string done = frontier_.Full() ? LimitText() : std::string("Success");
    if (!notes.empty()) done += ", " + notes;
    env_.OnUi([&] {
      EndCrawlRun(env_.engine, item_, name_, errors_.Any(), errors_.Shown(), done, notes);
    });
    env_.EndBusy();
  }

  // What the run passed over on purpose, for its row at the end: "3 links
  // skipped by robots.txt, 2 copies skipped"; empty when nothing.
  std::string EndNotes() const {
    std::string notes;
    const auto add = [&](int count, const char* what) {
      if (count == 0) return;
      if (!notes.empty()) notes += ", ";
      notes += std::to_string(count) + what;
    };
    add(robotsSkipped_, " links skipped by robots.txt");
    add(copiesSkipped_, " copies skipped");
    add(tooSmall_, " pictures too small");
    add(tooLarge_, " pictures too large");
    return notes;
  }

  // Nothing can be fetched for the project: the run ends with the reason.
  void Refuse(const std::string& reason) {
    ShowNow(StatusField::Status, reason);
    errors_.Add(reason);
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

  // Queues url when the project wants it (a stylesheet whatever its name).
  // false: the crawl has reached more sites than the project allows, and the
  // rest of the page is left.
  bool Admit(const std::string& url, Flags flags) {
    if (frontier_.Contains(url)) return true;
    if (frontier_.Full()) return LimitReached();
    const bool stylesheet = (flags & kStylesheet) != 0;
    if (!stylesheet && KindOfUrl(url, types_) == UrlKind::Skip) return true;
    const std::string host(SplitWebUrl(url).host);
    if (!settings_.exitDomain && !IsStartHost(host)) return true;
    if (settings_.exitDomain) {
      if (domains_.find(host) == domains_.end()) {
        if (!frontier_.Charge(kDomainEntry + 2 * host.size())) return LimitReached();
        domains_.insert(host);
        ++domainCount_;
      }
      if (settings_.maxDomainCount != 0 && domainCount_ > settings_.maxDomainCount) return false;
    }
    if (!frontier_.Add(url, host, flags)) return frontier_.Full() ? LimitReached() : true;
    if (KindOfUrl(url, types_) == UrlKind::Picture) {
      ++picturesMet_;
      ShowBar(false);
    }
    ++linkCount_;
    progressText_ = LinksFound(linkCount_);
    Show(links_, progressText_);
    return true;
  }

  // The page's links can no longer be kept: the crawl goes on with those it
  // has. Answers false, so that no more of the page is read.
  bool LimitReached() {
    if (!limitShown_) {
      limitShown_ = true;
      ShowNow(StatusField::Status, LimitText());
    }
    return false;
  }

  std::string LimitText() const {
    return "Link limit reached: " + std::to_string(frontier_.Met()) +
           " links kept, the rest were not followed";
  }

  void FollowRedirect(const LinkFrontier::Taken& from, const std::string& location) {
    const int hops = from.flags & kHopMask;
    std::optional<std::string> target = UrlResolver(from.url).Resolve(location);
    if (!target) {
      if (std::optional<std::string> refused = net::RefusedRedirect(location))
        RedirectFailed(from.url, *refused);
      else
        RedirectFailed(from.url, "Redirect to a malformed URL: " + location);
      return;
    }
    if (*target == from.url || OnChain(from.url, *target)) {
      RedirectFailed(from.url, "Redirect loop: " + ChainStart(from.url));
      return;
    }
    if (hops >= kMaxRedirects) {
      RedirectFailed(from.url, "Too many redirects: " + ChainStart(from.url));
      return;
    }
    const Flags flags = static_cast<Flags>((hops + 1) | (from.flags & (kFromStart | kStylesheet)));
    const std::string host(SplitWebUrl(*target).host);
    // Where the start URL leads is the site, whatever host it names.
    if (from.flags & kFromStart) AddStartHost(host);
    RefreshSettings();
    const std::size_t waiting = frontier_.Waiting();
    if (VisitKey(*target) == VisitKey(from.url)) {
      // The same address over the other scheme (http to https, mostly).
      frontier_.Requeue(*target, host, flags);
    } else {
      Admit(*target, flags);
    }
    if (frontier_.Waiting() > waiting) {
      redirectedFrom_[*target] = from.url;
    } else {
      EndChain(from.url);  // not followed: the project does not want it
    }
  }

  // A redirect that leads nowhere fails its link; the chain ends there.
  void RedirectFailed(const std::string& url, const std::string& reason) {
    progressText_ = net::FailureText(reason);
    ShowNow(StatusField::Status, progressText_);
    errors_.Add(progressText_);
    EndChain(url);
  }

  // The redirects that led to url, walked back from it: whether target is
  // one of the addresses on the way.
  bool OnChain(const std::string& url, const std::string& target) const {
    std::string at = url;
    for (int n = 0; n <= kMaxRedirects; ++n) {
      auto it = redirectedFrom_.find(at);
      if (it == redirectedFrom_.end()) return false;
      if (it->second == target) return true;
      at = it->second;
    }
    return false;
  }

  // The link the redirects leading to url started from.
  std::string ChainStart(const std::string& url) const {
    std::string at = url;
    for (int n = 0; n <= kMaxRedirects; ++n) {
      auto it = redirectedFrom_.find(at);
      if (it == redirectedFrom_.end()) break;
      at = it->second;
    }
    return at;
  }

  // The chain that led to url is over: what it kept goes.
  void EndChain(const std::string& url) {
    std::string at = url;
    for (int n = 0; n <= kMaxRedirects; ++n) {
      auto it = redirectedFrom_.find(at);
      if (it == redirectedFrom_.end()) return;
      at = std::move(it->second);
      redirectedFrom_.erase(it);
    }
  }

  void StartTransfers();

  // --- politeness --------------------------------------------------------------

  // What the crawl knows of a host: when it may be asked again, and how
  // many transfers it may have at once.
  struct Pace {
    Clock::time_point nextStart{};    // the gap between two requests' starts
    Clock::time_point pausedUntil{};  // it asked to slow down
    Clock::duration gap{};
    TransferRamp ramp;
  };
  // What robots.txt of an origin ("http://host:port") says.
  struct Origin {
    enum class State { Unread, Reading, Read, Unreachable };
    State state = State::Unread;
    RobotsRules rules;
  };
  // A URL that is to be asked again.
  struct Retry {
    int tries = 0;      // failures for a time-out, a broken connection, a 5xx
    int slowDowns = 0;  // 429 and 503 answers
    Clock::time_point notBefore{};
  };

  Pace& PaceOf(std::string_view host) {
    auto [it, added] = paces_.try_emplace(std::string(host));
    if (added) {
      it->second.gap = std::chrono::seconds(std::clamp(options_.waitSeconds, 0, 60));
      it->second.ramp = TransferRamp(perHost_);
    }
    return it->second;
  }

  // The host asked to slow down, or its gap between requests has not passed.
  static bool Resting(const Pace& pace, Clock::time_point now) {
    return now < pace.pausedUntil || now < pace.nextStart;
  }

  // Whether a link to url may start now (its host and its robots.txt allow a
  // request); asks for the robots.txt of an origin met for the first time.
  bool MayStartNow(std::string_view url) {
    const Clock::time_point now = Clock::now();
    if (Resting(PaceOf(SplitWebUrl(url).host), now)) return false;
    if (!retries_.empty()) {
      auto retry = retries_.find(std::string(url));
      if (retry != retries_.end() && now < retry->second.notBefore) return false;
    }
    if (!options_.obeyRobots) return true;
    Origin& origin = origins_[OriginOf(url)];
    if (origin.state == Origin::State::Unread) {
      origin.state = Origin::State::Reading;
      robotsToRead_.push_back(OriginOf(url));
      return false;
    }
    return origin.state != Origin::State::Reading;
  }

  // When a link that waits may start next; nullopt when none waits for time.
  std::optional<Clock::time_point> NextReadyTime() const {
    if (frontier_.Waiting() == 0) return std::nullopt;
    const Clock::time_point now = Clock::now();
    std::optional<Clock::time_point> next;
    const auto consider = [&](Clock::time_point t) {
      if (t > now && (!next || t < *next)) next = t;
    };
    for (const auto& [host, pace] : paces_) {
      consider(pace.pausedUntil);
      consider(pace.nextStart);
    }
    for (const auto& [url, retry] : retries_) consider(retry.notBefore);
    return next;
  }

  void StartRobots(const std::string& origin, const std::string& url, int hops);
  // What robots.txt of origin says: rules, or nullopt when nothing may be
  // fetched from there (why: the failure, or answer: the HTTP status).
  void RobotsRead(const std::string& origin, std::optional<RobotsRules> rules,
                  const std::string& why, long answer = 0);

  // A request to host starts now: the next waits for the gap.
  void Started(std::string_view host) {
    Pace& pace = PaceOf(host);
    pace.nextStart = Clock::now() + pace.gap;
    if (waitingShown_) {
      // The wait is over: the row shows the crawl under way again.
      waitingShown_ = false;
      env_.OnUi([&] { env_.reporter.ItemStatus(item_, "Downloading..."); });
    }
  }

  // The server asked to slow down: no request goes to its host for the
  // time it asked for, and the URL is asked again after it. false when the
  // URL was asked too often.
  bool SlowDown(const LinkFrontier::Taken& taken, const std::string& retryAfter) {
    PaceOf(SplitWebUrl(taken.url).host).ramp.SlowedDown();
    Retry& retry = retries_[taken.url];
    if (++retry.slowDowns > kMaxSlowDowns) {
      retries_.erase(taken.url);
      return false;
    }
    const std::string host(SplitWebUrl(taken.url).host);
    const auto wait = net::SlowDownWait(retryAfter, std::time(nullptr), limits_.slowDownDefault,
                                        limits_.slowDownCap);
    Pace& pace = PaceOf(host);
    pace.pausedUntil = std::max(pace.pausedUntil, Clock::now() + wait);
    const std::string text = net::SlowDownText(wait, host);
    ShowNow(StatusField::Status, text);
    waitingShown_ = true;
    env_.OnUi([&] { env_.reporter.ItemStatus(item_, text); });
    frontier_.Requeue(taken.url, host, taken.flags);
    return true;
  }

  // A try of the URL failed in a way that may pass: it is asked again after
  // a wait that doubles with each try (a quarter more or less, so that many
  // failures do not come back at once). false when it had its tries.
  bool RetryLater(const LinkFrontier::Taken& taken) {
    Retry& retry = retries_[taken.url];
    if (++retry.tries >= kMaxTries) {
      retries_.erase(taken.url);
      return false;
    }
    std::uniform_real_distribution<double> jitter(0.75, 1.25);
    const double wait = static_cast<double>(limits_.retryBase.count()) *
                        static_cast<double>(1 << (retry.tries - 1)) * jitter(random_);
    retry.notBefore = Clock::now() + std::chrono::milliseconds(static_cast<long long>(wait));
    frontier_.Requeue(taken.url, SplitWebUrl(taken.url).host, taken.flags);
    return true;
  }

  void Settled(const std::string& url) {
    if (!retries_.empty()) retries_.erase(url);
  }

  // --- the archive ---------------------------------------------------------------

  // What the archive says of a picture URL about to be asked: nullopt to
  // ask for it as new, else its entry (the request then asks whether it
  // changed). Sets skip when it is not to be asked at all.
  std::optional<ArchiveEntry> Archived(const std::string& url, bool& skip) {
    skip = false;
    std::optional<ArchiveEntry> entry = env_.engine.archive.Find(name_, url);
    if (!entry) return std::nullopt;
    if (entry->state != ArchiveState::Deleted) {
      const std::optional<std::uint64_t> size = LocalPath::FromShown(entry->path).FileSize();
      if (size && *size == entry->size) return entry;
      if (!size) {
        // Gone from Pictures: the user deleted it.
        env_.engine.archive.MarkDeletedByUser(name_, entry->path);
        entry->state = ArchiveState::Deleted;
      } else {
        return std::nullopt;  // changed on the disk: fetched whole again
      }
    }
    if (options_.refetchDeleted) return std::nullopt;
    skip = true;
    return entry;
  }

  // Another saved picture with these bytes, whose file is still there.
  std::optional<ArchiveEntry> CopyOf(const std::string& url, const std::string& sha256) {
    std::optional<ArchiveEntry> found =
        env_.engine.archive.FindContent(name_, url, sha256, options_.copiesAcrossProjects);
    if (!found) return std::nullopt;
    if (!LocalPath::FromShown(found->path).FileSize()) return std::nullopt;
    return found;
  }

  // --- what transfers report ---------------------------------------------------

  // A link failed. A local file failure (the disk at its free-space floor,
  // a write error) says why at once; an Internet failure shows as such, and
  // only a reason the user can act on (a certificate) is kept to be shown
  // at the end.
  void Failed(const std::string& message, bool local = false) {
    progressText_ = net::FailureText(message);
    // A redirect the client refused fails its link as the crawl's own checks
    // of redirects do: said at once.
    const bool sayNow = local || net::IsRefusedRedirect(progressText_);
    ShowNow(StatusField::Status, sayNow ? progressText_ : std::string("Error retrieving page"));
    errors_.Add(sayNow || IsReasonToShow(progressText_) ? progressText_ : std::string());
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

  WorkerEnv& env_;
  const ItemRef item_;
  std::string name_;
  SiteProject settings_;
  const SiteOptions options_;
  const CrawlLimits limits_;
  PictureTypes types_;
  int perHost_;
  std::size_t pagesAtOnce_;
  std::size_t pagesOut_ = 0;  // transfers that may turn out to be pages
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
  RunErrors errors_;
  bool limitShown_ = false;
  // Where each link reached by a redirect came from, while its chain runs.
  std::unordered_map<std::string, std::string> redirectedFrom_;
  std::string progressText_;
  ProjectNode node_ = 0;
  Throttled action_{StatusField::LastAction, false};
  Throttled progress_{StatusField::Status, false};
  Throttled links_{StatusField::Status, true};
  // Politeness.
  std::unordered_map<std::string, Pace> paces_;      // by host
  std::unordered_map<std::string, Origin> origins_;  // by origin
  std::vector<std::string> robotsToRead_;            // origins met, robots.txt not yet asked
  std::unordered_map<std::string, Retry> retries_;   // by URL
  std::minstd_rand random_{std::random_device{}()};
  bool waitingShown_ = false;  // the row says what the crawl waits for
  // What the run passed over on purpose.
  int robotsSkipped_ = 0;
  int copiesSkipped_ = 0;
  int tooSmall_ = 0;
  int tooLarge_ = 0;
};

// One URL's transfer: a page or a stylesheet read for links, or a picture
// written below the project's folder.
class ModernCrawl::Fetch final : public net::FetchClient,
                                 private HtmlLinkSink,
                                 private CssLinkSink {
 public:
  Fetch(ModernCrawl& crawl, LinkFrontier::Taken taken, bool picture,
        std::optional<ArchiveEntry> archived)
      : crawl_(crawl), taken_(std::move(taken)), picture_(picture), archived_(std::move(archived)) {
    if (!picture_) ++crawl_.pagesOut_;
  }

  // A picture cut short is no picture: its partial file goes with it.
  ~Fetch() override {
    if (!picture_) --crawl_.pagesOut_;
  }

  net::BodyUse OnHead(const net::ResponseHead& head) override {
    const std::string& url = taken_.url;
    if (!IsSlowDown(head.status)) {
      TransferRamp& ramp = crawl_.PaceOf(SplitWebUrl(url).host).ramp;
      // Streams of one HTTP/2 connection count as one connection: such a
      // host may get up to kMaxStreams at once, unless the project asks for
      // one transfer at a time.
      if (head.multiplexed && crawl_.perHost_ > 1) ramp.Widen(net::ParallelFetcher::kMaxStreams);
      ramp.Answered(head.answerTime);
    }
    if (head.status >= 300 && head.status < 400 && !head.location.empty()) {
      redirected_ = true;
      crawl_.FollowRedirect(taken_, head.location);
      return net::BodyUse::Drop;
    }
    if (IsSlowDown(head.status) && crawl_.SlowDown(taken_, head.retryAfter)) {
      again_ = true;
      return net::BodyUse::Drop;
    }
    if (head.status == 304 && archived_) {
      // Not changed since it was saved: the file stays, nothing moves.
      crawl_.Settled(url);
      ++crawl_.picturesSaved_;
      crawl_.ShowBar(false);
      return net::BodyUse::Drop;
    }
    if (head.status >= 500 && crawl_.RetryLater(taken_)) {
      again_ = true;
      return net::BodyUse::Drop;
    }
    if (head.status != 200) {
      crawl_.Settled(url);
      crawl_.ShowNow(StatusField::Status, url + " not found");
      return net::BodyUse::Drop;
    }
    head_ = head;
    crawl_.Show(crawl_.action_, "Reading " + url);
    if (picture_) {
      // A stylesheet the project wants saved is read for its pictures too.
      if (IsStylesheetAnswer(url, head.contentType)) ReadCss(url);
      return OpenFile({});
    }
    const bool stylesheet = (taken_.flags & kStylesheet) != 0;
    if (IsHtmlType(head.contentType)) {
      // A stylesheet's link that answers with a page (one saying it is not
      // there, mostly) shows nothing: it is not read.
      if (stylesheet) return net::BodyUse::Stop;
      crawl_.Show(crawl_.action_, "Retrieving links...");
      crawl_.RefreshSettings();
      resolver_ = std::make_unique<UrlResolver>(url);
      reader_ = std::make_unique<HtmlLinkReader>(static_cast<HtmlLinkSink&>(*this));
      return net::BodyUse::Take;
    }
    if (IsStylesheetAnswer(url, head.contentType)) {
      ReadCss(url);
      return net::BodyUse::Take;
    }
    if (const std::optional<std::string> extension = crawl_.types_.ExtensionFor(head.contentType)) {
      ++crawl_.picturesMet_;
      return OpenFile(*extension);
    }
    return net::BodyUse::Stop;  // neither a page nor a picture the project wants
  }

  bool OnBody(const char* data, std::size_t size) override {
    if (reader_) return reader_->Feed(data, size);
    if (css_ && !file_) return css_->Feed(data, size);
    if (css_) css_->Feed(data, size);  // saved as well: the file is written whatever it finds
    if (!file_) return false;
    const SiteOptions& o = crawl_.options_;
    if (o.maxKb > 0 && bytes_ + size > static_cast<std::uint64_t>(o.maxKb) * 1024) {
      // Over the limit: ended here, and what came is not kept.
      Refuse(crawl_.tooLarge_);
      return false;
    }
    if (sizeState_ == PixelSize::State::NeedMore) {
      first_.append(data, std::min(size, kPixelSizeBytes - first_.size()));
      const PixelSize pixels = ReadPixelSize(first_);
      sizeState_ = pixels.state;
      if (pixels.state == PixelSize::State::NeedMore && first_.size() >= kPixelSizeBytes)
        sizeState_ = PixelSize::State::Unknown;
      if (sizeState_ != PixelSize::State::NeedMore) first_ = std::string();
      if (pixels.state == PixelSize::State::Known &&
          (pixels.width < o.minWidth || pixels.height < o.minHeight)) {
        Refuse(crawl_.tooSmall_);
        return false;
      }
    }
    try {
      file_->Write(data, size);
    } catch (const LocalFileError& e) {
      problem_ = e.what();
      localProblem_ = true;
      return false;
    }
    digest_.Add(data, size);
    bytes_ += size;
    crawl_.Show(crawl_.progress_, KilobytesRead(bytes_));
    return true;
  }

  void OnEnd(const std::string& failure, bool transient) override {
    crawl_.frontier_.Done(taken_.host);
    // A time-out or a broken connection may be the server not keeping up.
    if (!failure.empty() && transient)
      crawl_.PaceOf(SplitWebUrl(taken_.url).host).ramp.SlowedDown();
    if (!failure.empty() && !again_ && transient && crawl_.RetryLater(taken_)) again_ = true;
    if (again_) {
      file_.reset();  // asked again: what came of it goes
      return;
    }
    crawl_.Settled(taken_.url);
    if (!redirected_ && (taken_.flags & kHopMask) != 0) crawl_.EndChain(taken_.url);
    if (!failure.empty()) {
      problem_ = failure;
      localProblem_ = false;
    }
    if (reader_) reader_->Finish();
    if (css_) css_->Finish();
    if (file_ && problem_.empty()) {
      const SiteOptions& o = crawl_.options_;
      if (o.minKb > 0 && bytes_ < static_cast<std::uint64_t>(o.minKb) * 1024) {
        Refuse(crawl_.tooSmall_);
        return;
      }
      Keep();
    }
    if (!problem_.empty()) {
      file_.reset();
      crawl_.Failed(problem_, localProblem_);
    }
  }

 private:
  // The stylesheet is read for the pictures it shows; its links resolve
  // against its own URL.
  void ReadCss(const std::string& url) {
    crawl_.Show(crawl_.action_, "Retrieving links...");
    crawl_.RefreshSettings();
    resolver_ = std::make_unique<UrlResolver>(url);
    css_ = std::make_unique<CssLinkReader>(static_cast<CssLinkSink&>(*this));
  }

  net::BodyUse OpenFile(std::string_view extension) {
    const LocalPath path = crawl_.PathFor(taken_.url, extension);
    if (!path.Usable()) {
      crawl_.ShowNow(StatusField::Status, path.Shown() + " has illegal chars");
      return net::BodyUse::Stop;
    }
    if (IsProgramName(path.Leaf())) {
      crawl_.ShowNow(StatusField::Status, ProgramNameText(path.Shown()));
      return net::BodyUse::Stop;
    }
    const SiteOptions& o = crawl_.options_;
    const long long told = head_.contentLength;
    if (o.maxKb > 0 && told > static_cast<long long>(o.maxKb) * 1024) {
      ++crawl_.tooLarge_;
      return net::BodyUse::Stop;
    }
    if (o.minKb > 0 && told >= 0 && told < static_cast<long long>(o.minKb) * 1024) {
      ++crawl_.tooSmall_;
      return net::BodyUse::Stop;
    }
    if (o.minWidth > 0 || o.minHeight > 0) sizeState_ = PixelSize::State::NeedMore;
    try {
      file_ = std::make_unique<PartialFile>(path);
    } catch (const LocalFileError& e) {
      crawl_.ShowNow(StatusField::Status, e.what());
      return net::BodyUse::Stop;
    }
    crawl_.Show(crawl_.action_, "Dowloading " + path.Shown() + "...");
    return net::BodyUse::Take;
  }

  // The picture is filtered out: it is not kept, and counted.
  void Refuse(int& counter) {
    ++counter;
    file_.reset();
  }

  // The picture came whole: kept under its name, unless the same bytes are
  // kept already (then it counts as a copy and its file goes); either way the
  // archive remembers it, once its file is in place.
  void Keep() {
    ArchiveEntry entry;
    entry.url = taken_.url;
    entry.size = bytes_;
    entry.etag = head_.etag;
    entry.lastModified = head_.lastModified;
    entry.sha256 = digest_.HexDigest();
    if (std::optional<ArchiveEntry> original = crawl_.CopyOf(taken_.url, entry.sha256)) {
      file_.reset();
      ++crawl_.copiesSkipped_;
      ++crawl_.picturesSaved_;
      entry.state = ArchiveState::Copy;
      entry.path = original->path;
      entry.size = original->size;
      crawl_.env_.engine.archive.Record(crawl_.name_, std::move(entry));
      crawl_.ShowBar(false);
      return;
    }
    try {
      file_->Finish();
      entry.path = file_->Final().Shown();
      file_.reset();
      crawl_.env_.engine.archive.Record(crawl_.name_, entry);
      crawl_.Saved(entry.path);
    } catch (const LocalFileError& e) {
      problem_ = e.what();
      localProblem_ = true;
    }
  }

  bool OnLink(std::string_view link) override {
    std::optional<std::string> url = resolver_->Resolve(link);
    return !url || crawl_.Admit(*url, 0);
  }

  void OnBase(std::string_view href) override { resolver_->Rebase(href); }

  bool OnStylesheet(std::string_view href) override {
    std::optional<std::string> url = resolver_->Resolve(href);
    return !url || crawl_.Admit(*url, kStylesheet);
  }

  // A stylesheet's url(...) names fonts, cursors and more beside pictures:
  // only a picture the project wants is taken.
  bool OnCssUrl(std::string_view link) override {
    std::optional<std::string> url = resolver_->Resolve(link);
    return !url || KindOfUrl(*url, crawl_.types_) != UrlKind::Picture || crawl_.Admit(*url, 0);
  }

  bool OnCssImport(std::string_view link) override {
    std::optional<std::string> url = resolver_->Resolve(link);
    return !url || crawl_.Admit(*url, kStylesheet);
  }

  ModernCrawl& crawl_;
  LinkFrontier::Taken taken_;
  bool picture_;
  std::optional<ArchiveEntry> archived_;  // asked whether it changed
  net::ResponseHead head_;
  bool redirected_ = false;
  bool again_ = false;  // the URL is asked again later
  std::unique_ptr<UrlResolver> resolver_;
  std::unique_ptr<HtmlLinkReader> reader_;
  std::unique_ptr<CssLinkReader> css_;
  std::unique_ptr<PartialFile> file_;
  Sha256 digest_;
  // The picture's first bytes while its pixel size is looked for.
  PixelSize::State sizeState_ = PixelSize::State::Unknown;
  std::string first_;
  std::string problem_;
  bool localProblem_ = false;  // problem_ is a local file failure
  std::uint64_t bytes_ = 0;
};

// The robots.txt of one origin, read before any other request to it.
class ModernCrawl::RobotsFetch final : public net::FetchClient {
 public:
  RobotsFetch(ModernCrawl& crawl, std::string origin, std::string url, int hops)
      : crawl_(crawl), origin_(std::move(origin)), url_(std::move(url)), hops_(hops) {}

  net::BodyUse OnHead(const net::ResponseHead& head) override {
    status_ = head.status;
    location_ = head.location;
    if (status_ >= 200 && status_ < 300) return net::BodyUse::Take;
    return net::BodyUse::Drop;
  }

  bool OnBody(const char* data, std::size_t size) override {
    body_.append(data, std::min(size, kMaxRobotsBytes - body_.size()));
    return body_.size() < kMaxRobotsBytes;  // the rest is not read
  }

  void OnEnd(const std::string& failure, bool) override {
    if (!failure.empty()) return crawl_.RobotsRead(origin_, std::nullopt, failure);
    if (status_ >= 200 && status_ < 300) {
      // The rules are held for the rest of the run, within the crawl's budget.
      crawl_.frontier_.Charge(body_.size());
      return crawl_.RobotsRead(origin_, RobotsRules::Parse(body_), {});
    }
    if (status_ >= 300 && status_ < 400 && !location_.empty()) {
      std::optional<std::string> target = UrlResolver(url_).Resolve(location_);
      if (target && hops_ < kMaxRobotsRedirects)
        return crawl_.StartRobots(origin_, *target, hops_ + 1);
      if (target) return crawl_.RobotsRead(origin_, RobotsRules(), {});  // too many: no rules
    }
    // No rules for us (4xx): everything is allowed. The server failing (5xx)
    // or not answering: nothing may be fetched.
    if (status_ >= 400 && status_ < 500) return crawl_.RobotsRead(origin_, RobotsRules(), {});
    crawl_.RobotsRead(origin_, std::nullopt, {}, status_);
  }

 private:
  ModernCrawl& crawl_;
  std::string origin_;
  std::string url_;
  int hops_;
  long status_ = 0;
  std::string location_;
  std::string body_;
};

void ModernCrawl::StartRobots(const std::string& origin, const std::string& url, int hops) {
  Started(SplitWebUrl(url).host);
  try {
    fetcher_.Start(url, std::make_unique<RobotsFetch>(*this, origin, url, hops));
  } catch (const net::InternetError& e) {
    RobotsRead(origin, std::nullopt, e.what());
  }
}

void ModernCrawl::RobotsRead(const std::string& origin, std::optional<RobotsRules> rules,
                             const std::string& why, long answer) {
  Origin& o = origins_[origin];
  if (!rules) {
    // Nothing may be fetched from there in this run: an error of the run,
    // said as the failure of any other request is, or with the answer.
    o.state = Origin::State::Unreachable;
    if (!answer) return Failed(why);
    const std::string text =
        origin + "/robots.txt answered " + std::to_string(answer) + ": nothing fetched there";
    ShowNow(StatusField::Status, text);
    errors_.Add(text);
    return;
  }
  o.state = Origin::State::Read;
  o.rules = std::move(*rules);
  if (const std::optional<double> delay = o.rules.CrawlDelay()) {
    const auto wanted = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(std::min<double>(*delay, kMaxCrawlDelaySeconds)));
    Pace& pace = PaceOf(SplitWebUrl(origin + "/").host);
    if (wanted > pace.gap) {
      pace.nextStart += wanted - pace.gap;
      pace.gap = wanted;
    }
  }
}

void ModernCrawl::StartTransfers() {
  // Pictures go to disk as they come; a link that may be a page waits while
  // as many pages are being read as the memory budget allows. A host that
  // asked to slow down, or whose gap between requests has not passed, or
  // whose robots.txt is still being read, waits too.
  const auto startable = [this](std::string_view url) {
    return (pagesOut_ < pagesAtOnce_ || KindOfUrl(url, types_) == UrlKind::Picture) &&
           MayStartNow(url);
  };
  while (fetcher_.Active() < kMaxActive) {
    // A host that may not be asked yet gets no link now, so that none of its
    // links is looked at.
    const auto perHost = [this](std::string_view host) {
      const Pace& pace = PaceOf(host);
      return Resting(pace, Clock::now()) ? 0 : pace.ramp.Limit();
    };
    std::optional<LinkFrontier::Taken> next = frontier_.TakeNext(perHost, startable);
    while (!robotsToRead_.empty()) {
      const std::string origin = std::move(robotsToRead_.back());
      robotsToRead_.pop_back();
      StartRobots(origin, origin + "/robots.txt", 0);
    }
    if (!next) return;
    const int host = next->host;
    UrlKind kind = KindOfUrl(next->url, types_);
    // A stylesheet is read whatever its name says (and saved as well when
    // the project wants files of its type).
    if ((next->flags & kStylesheet) && kind == UrlKind::Skip) kind = UrlKind::Page;
    const auto drop = [&] {
      frontier_.Done(host);
      EndChain(next->url);
      Settled(next->url);
    };
    if (kind == UrlKind::Skip) {
      // No longer wanted (the project was edited), unless it is where the
      // crawl starts: then its answer decides.
      if (!(next->flags & kFromStart)) {
        drop();
        continue;
      }
      kind = UrlKind::Page;
    }
    if (options_.obeyRobots) {
      const Origin& origin = origins_[OriginOf(next->url)];
      if (origin.state == Origin::State::Unreachable) {
        drop();
        continue;
      }
      if (!origin.rules.Allows(PathAndQuery(next->url))) {
        ++robotsSkipped_;
        drop();
        continue;
      }
    }
    bool skip = false;
    std::optional<ArchiveEntry> archived = Archived(next->url, skip);
    if (skip) {
      // Deleted by the user: not fetched again, and counted as done.
      ++picturesSaved_;
      drop();
      continue;
    }
    std::vector<std::string> ask;
    if (archived && !archived->etag.empty()) ask.push_back("If-None-Match: " + archived->etag);
    if (archived && !archived->lastModified.empty())
      ask.push_back("If-Modified-Since: " + archived->lastModified);
    if (ask.empty()) archived.reset();  // nothing to ask with: fetched as new
    const std::string url = next->url;
    Show(action_, "Opening " + url);
    Started(SplitWebUrl(url).host);
    try {
      fetcher_.Start(url,
                     std::make_unique<Fetch>(*this, std::move(*next), kind == UrlKind::Picture,
                                             std::move(archived)),
                     ask);
    } catch (const net::InternetError& e) {
      frontier_.Done(host);
      EndChain(url);
      Settled(url);
      Failed(e.what());
    }
  }
}

}  // namespace

int RunModernCrawl(WorkerEnv& env, const SiteProject& project, const SiteOptions& options,
                   const CrawlLimits& limits, std::shared_ptr<const net::CookieJar> cookies) {
  ModernCrawl crawl(env, project, options, limits, std::move(cookies));
  return crawl.Run();
}

}  // namespace tvx
