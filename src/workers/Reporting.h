#pragma once
// The reporting interface through which workers and commands tell a window
// what happened to an item, the dispatcher that carries a piece of work to the
// user-interface thread, and the checks of the thread rules.
//
// Reports name an item by its list and id, never by a row: the window alone
// knows which list it shows, where an item's row is, and which item its
// status view follows, and decides from that what a report changes.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "store/RecordList.h"

namespace tvx {

enum class StatusField { CurrentProject, LastAction, Status };

// One record of one list (kListRequestedFiles ... kListSearchResults).
struct ItemRef {
  int list = 0;
  ItemId id = 0;
  bool operator==(const ItemRef&) const = default;
};

// Identifies a project item of the downloaded-files tree. An id whose item is
// gone (the tree was cleared) is ignored by AddFile.
using ProjectNode = std::int64_t;

// When a status-view text about an item is shown.
enum class WhenFollowed {
  // While the view follows the item and the item's list is shown.
  AndShown,
  // While the view follows the item, whatever list is shown.
  Always,
};

// Implemented by the window (and by tests). Every call is made on the
// user-interface thread: workers reach it only through UiDispatcher::Run.
// Implementations check it with TVX_ASSERT_UI_THREAD().
class Reporter {
 public:
  virtual ~Reporter() = default;
  // A new item on top of its list, with its text and status. Made before or
  // after the record joins its list. False when the window could not show
  // it (the caller then keeps the record out of its list).
  virtual bool ItemAdded(ItemRef item, const std::string& text, const std::string& status) = 0;
  // The item is about to leave its list: made while it is still there.
  virtual void ItemRemoved(ItemRef item) = 0;
  // Every item of every list is gone (the lists are already empty).
  virtual void AllItemsRemoved() = 0;
  // The item's status text, and its first column's text (a renamed project).
  virtual void ItemStatus(ItemRef item, const std::string& text) = 0;
  virtual void ItemText(ItemRef item, const std::string& text) = 0;
  // How far the item has come: done of total (bytes of a file, pictures of a
  // crawl), drawn behind its status. A total of 0 (not known, or the work is
  // over) shows nothing.
  virtual void ItemProgress(ItemRef item, std::uint64_t done, std::uint64_t total) = 0;

  // The status view follows the item from now on (it was started or resumed).
  virtual void FollowItem(ItemRef item) = 0;
  // A status-view text about the item, shown only while the view follows it
  // (as when says). Gives whether it was shown.
  virtual bool ItemStatusText(ItemRef item, StatusField field, const std::string& text,
                              WhenFollowed when = WhenFollowed::AndShown) = 0;
  // A status-view text whatever the view follows.
  virtual void SetStatusText(StatusField field, const std::string& text) = 0;
  virtual void StartBusy() = 0;
  virtual void StopBusy() = 0;

  // Downloaded-files tree.
  virtual ProjectNode FindOrAddProject(const std::string& name) = 0;
  virtual void AddFile(ProjectNode project, const std::string& path) = 0;

  // A modal message box captioned "Tavrinox" with one OK button.
  virtual void ShowMessage(const std::string& text) = 0;

  // Hints that any thread may ask, so that a worker can spare itself a trip
  // to the user-interface thread for a report that would change nothing:
  // false when nothing of the list's rows, or no status-view text about the
  // item, can be shown now. The reports decide for themselves all the same.
  virtual bool MayShowList(int list) const;
  virtual bool MayShowStatusOf(ItemRef item) const;
};

// A Reporter that shows nothing: the engine without a window (the command
// line, and a program that is ending). Messages go to standard error.
class NullReporter final : public Reporter {
 public:
  bool ItemAdded(ItemRef, const std::string&, const std::string&) override;
  void ItemRemoved(ItemRef) override;
  void AllItemsRemoved() override;
  void ItemStatus(ItemRef, const std::string&) override;
  void ItemText(ItemRef, const std::string&) override;
  void ItemProgress(ItemRef, std::uint64_t, std::uint64_t) override;
  void FollowItem(ItemRef) override;
  bool ItemStatusText(ItemRef, StatusField, const std::string&, WhenFollowed) override;
  void SetStatusText(StatusField, const std::string&) override;
  void StartBusy() override;
  void StopBusy() override;
  ProjectNode FindOrAddProject(const std::string&) override;
  void AddFile(ProjectNode, const std::string&) override;
  void ShowMessage(const std::string& text) override;
  bool MayShowList(int) const override { return false; }
  bool MayShowStatusOf(ItemRef) const override { return false; }
};

// Runs a function on the user-interface thread and waits until it is done
// (a direct call when already there). A sequence run through it cannot
// interleave with the commands or with another worker's sequence.
class UiDispatcher {
 public:
  virtual ~UiDispatcher() = default;
  virtual void Run(const std::function<void()>& work) = 0;
  // Whether the calling thread is the user-interface thread: the thread that
  // Run carries work to.
  virtual bool IsUiThread() const = 0;
  // The user-interface thread runs no more work (the program is ending):
  // from now on, and for work already waiting, Run does the work on the
  // calling thread under one lock. Called on the user-interface thread.
  virtual void Close() {}
};

// Runs work under one lock on the calling thread: the dispatcher when no
// window is connected (the command line, engine tests) and the one a closed
// window dispatcher falls back to. The thread that made it counts as the
// user-interface thread, and so does a thread while it runs work here (it
// then holds the lock every other such sequence needs).
class SerialDispatcher final : public UiDispatcher {
 public:
  void Run(const std::function<void()>& work) override;
  bool IsUiThread() const override;

 private:
  std::recursive_mutex mutex_;
  const std::thread::id owner_ = std::this_thread::get_id();
  std::atomic<std::thread::id> running_{};
};

// The dispatcher the thread-rule checks ask (the engine sets its own);
// nullptr: a serial dispatcher made by the first thread that checks.
void SetThreadRuleDispatcher(const UiDispatcher* dispatcher);
// Stops asking dispatcher (if it is the one asked).
void ClearThreadRuleDispatcher(const UiDispatcher* dispatcher);
// Whether the calling thread is the checked dispatcher's user-interface thread.
bool OnUiThread();

// Ends the program with a message naming the broken rule.
[[noreturn]] void ThreadRuleBroken(const char* rule, const char* function);

}  // namespace tvx

// Thread rules, checked in debug builds (tests build that way): a function
// that must run on the user-interface thread, or must never block it, says so.
#ifdef NDEBUG
#define TVX_ASSERT_UI_THREAD() ((void)0)
#define TVX_ASSERT_NOT_UI_THREAD() ((void)0)
#else
#define TVX_ASSERT_UI_THREAD()   \
  (::tvx::OnUiThread() ? (void)0 \
                       : ::tvx::ThreadRuleBroken("runs on the user-interface thread", __func__))
#define TVX_ASSERT_NOT_UI_THREAD() \
  (!::tvx::OnUiThread()            \
       ? (void)0                   \
       : ::tvx::ThreadRuleBroken("never runs on the user-interface thread", __func__))
#endif
