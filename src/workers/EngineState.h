#pragma once
// What the engine holds, as the layers below it see it: the six lists, the
// options of web-site and search projects, the credits of found pictures, the
// worker threads, the limits, and the window they report to. The Engine
// object (src/engine) owns one and adds the list files, the folder lock and
// the way out; workers and commands are handed this part of it.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "store/Lists.h"
#include "store/PictureArchive.h"
#include "store/PictureCredits.h"
#include "store/SearchOptions.h"
#include "store/SiteOptions.h"
#include "workers/Reporting.h"
#include "workers/WorkerControl.h"

namespace tvx {

// Bounds that keep one run's memory in check.
struct EngineLimits {
  // What a modern crawl may hold of the links it met and the pages it reads.
  std::size_t crawlMemoryBytes = std::size_t{256} << 20;
  std::size_t crawlLinks = 2'000'000;
  // A server that answers "slow down" (429 or 503) is left alone for its
  // Retry-After, at most slowDownCap, else for slowDownDefault.
  std::chrono::milliseconds slowDownDefault{30'000};
  std::chrono::milliseconds slowDownCap{600'000};
  // A URL that failed for a time-out or a broken connection is asked again
  // after this, twice that, four times that ... (each within a quarter).
  std::chrono::milliseconds retryBase{1000};
};

class EngineState {
 public:
  EngineState();
  EngineState(const EngineState&) = delete;
  EngineState& operator=(const EngineState&) = delete;
  virtual ~EngineState();

  Lists lists;
  SiteOptionsTable siteOptions;
  // The engines of today each search project asks, and the credits of the
  // pictures searches found.
  SearchOptionsTable searchOptions;
  PictureCredits credits{lists};
  // What the modern crawls saved, kept beside the lists.
  PictureArchive archive;
  Workers workers;
  EngineLimits limits;
  // The project the frame's Send To starts from: it lives for the whole run.
  SiteProject sendToDraft{};
  SiteOptions sendToDraftOptions = NewSiteOptions();

  // Where reports go and how work reaches the user-interface thread; without
  // a window, nowhere and on the calling thread. Workers started from now on
  // use them; set before any worker starts. Either may be null (the default).
  void SetUi(Reporter* reporter, UiDispatcher* dispatcher);
  // What workers and commands report to and run their steps through. They
  // stay the same objects for the whole run and pass everything on to what
  // SetUi named last (or to nothing, once the window is closed).
  Reporter& Ui() { return reporter_; }
  UiDispatcher& Dispatcher() { return dispatcher_; }
  // Runs body as one step on the user-interface thread (see UiDispatcher).
  template <class F>
  void AsOneStep(F&& body) {
    dispatcher_.Run(body);
  }
  // The window goes away: reports go nowhere and work already waiting for
  // the user-interface thread, and all work after it, runs on the workers'
  // own threads under one lock. Called on the user-interface thread.
  void CloseUi();

 private:
  class ReporterLink final : public Reporter {
   public:
    std::atomic<Reporter*> target{nullptr};
    Reporter& To();
    bool ItemAdded(ItemRef item, const std::string& text, const std::string& status) override;
    void ItemRemoved(ItemRef item) override;
    void AllItemsRemoved() override;
    void ItemStatus(ItemRef item, const std::string& text) override;
    void ItemText(ItemRef item, const std::string& text) override;
    void ItemProgress(ItemRef item, std::uint64_t done, std::uint64_t total) override;
    void FollowItem(ItemRef item) override;
    bool ItemStatusText(ItemRef item, StatusField field, const std::string& text,
                        WhenFollowed when) override;
    void SetStatusText(StatusField field, const std::string& text) override;
    void StartBusy() override;
    void StopBusy() override;
    ProjectNode FindOrAddProject(const std::string& name) override;
    void AddFile(ProjectNode project, const std::string& path) override;
    void ShowMessage(const std::string& text) override;
    bool MayShowList(int list) const override;
    bool MayShowStatusOf(ItemRef item) const override;

   private:
    const Reporter& To() const;
    NullReporter none_;
  };
  class DispatcherLink final : public UiDispatcher {
   public:
    std::atomic<UiDispatcher*> target{nullptr};
    UiDispatcher& To() {
      UiDispatcher* d = target.load();
      return d ? *d : serial_;
    }
    void Run(const std::function<void()>& work) override { To().Run(work); }
    bool IsUiThread() const override;
    void Close() override { To().Close(); }

   private:
    SerialDispatcher serial_;
  };

  ReporterLink reporter_;
  DispatcherLink dispatcher_;
};

}  // namespace tvx
