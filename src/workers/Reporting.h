#pragma once
// The reporting interface through which workers change what the user sees,
// the dispatcher that carries a piece of work to the user-interface thread,
// and the checks of the thread rules.
#include <cstdint>
#include <functional>
#include <string>

namespace tvx {

enum class StatusField { CurrentProject, LastAction, Status };

// Identifies a project item of the downloaded-files tree. An id whose item is
// gone (the tree was cleared) is ignored by AddFile.
using ProjectNode = std::int64_t;

// Implemented by the views. Every call is made on the user-interface thread:
// workers reach it only through UiDispatcher::Run. Implementations check it
// with TVX_ASSERT_UI_THREAD().
class Reporter {
 public:
  virtual ~Reporter() = default;
  // List panel rows.
  virtual void SetRowStatus(int row, const std::string& text) = 0;
  virtual void DeleteRow(int row) = 0;
  virtual void InsertTopRow(const std::string& itemText) = 0;
  virtual void DeleteAllRows() = 0;
  // How far a row's item has come: done of total (bytes of a file, pictures
  // of a crawl), drawn behind the row's status text. A total of 0 (not known,
  // or the work is over) shows nothing.
  virtual void SetRowProgress(int row, std::uint64_t done, std::uint64_t total) = 0;
  // A new row on top with both columns; false when the panel could not make
  // it. Reporters without a panel of their own accept every row.
  virtual bool AddTopRow(const std::string& itemText, const std::string& status);
  // The first column (the item's text) of a row.
  virtual void SetRowText(int row, const std::string& itemText);
  // Status view.
  virtual void SetStatusText(StatusField field, const std::string& text) = 0;
  virtual void StartBusy() = 0;
  virtual void StopBusy() = 0;
  // Downloaded-files tree.
  virtual ProjectNode FindOrAddProject(const std::string& name) = 0;
  virtual void AddFile(ProjectNode project, const std::string& path) = 0;
  // A modal message box captioned "Tavrinox" with one OK button.
  virtual void ShowMessage(const std::string& text) = 0;
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
};

// The reporter and dispatcher that workers started from now on use.
// Set by the windows (or a test) before any worker starts.
void SetUi(Reporter* reporter, UiDispatcher* dispatcher);
Reporter* CurrentReporter();
UiDispatcher* CurrentDispatcher();

// Whether the calling thread is the current dispatcher's user-interface thread.
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
