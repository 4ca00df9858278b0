#pragma once
// What both ways of crawling share about a run: how it ends, and the texts it
// shows on the way.
#include <cstdint>
#include <string>
#include <string_view>

#include "workers/EngineState.h"

namespace tvx {

// What a crawl ends with: the stack ran empty (with or without errors), or
// the project was asked to end.
inline constexpr int kCrawlDone = 0;
inline constexpr int kCrawlStopped = 4;

// "1.50k read": a byte count in kilobytes with two decimals.
std::string KilobytesRead(std::uint64_t bytes);

// The errors of a run: whether there were any, and the first reason the
// user can act on (the disk at its free-space floor, a certificate refused,
// a redirect that leads nowhere, a file that cannot be written, a project
// folder that cannot be used), shown when the run ends. Failures without
// such a reason (a server away, a transfer cut short) only count.
class RunErrors {
 public:
  // An error; reason: what to show for it, empty when there is nothing
  // more to say than that an error occurred.
  void Add(const std::string& reason = {});
  bool Any() const { return any_; }
  // What the project's row and the status view show at the end of a run
  // with errors: the first reason, else "Some errors occurred".
  std::string Shown() const;

 private:
  bool any_ = false;
  std::string reason_;
};

// The note for a file that is not saved because its name is a program's
// (IsProgramName): shownPath as the user sees it.
std::string ProgramNameText(const std::string& shownPath);

// Whether an Internet failure's text gives such a reason: a certificate the
// client refused, or a redirect to an address that is not on the web, which
// no retry mends.
bool IsReasonToShow(std::string_view failure);

// The ends of a crawl run, on the user-interface side. Nothing of a project
// that was deleted while it ran is touched.
// Stopped: the project stays requested with "Stopped".
void ShowCrawlStopped(EngineState& engine, ItemRef project);
// Done: without errors the project moves to the downloaded web sites (with
// its id) and doneStatus shows in Status while the view follows it; with
// errors it stays requested with the status "Some errors occurred", and
// errorStatus shows in its row and, while the view follows it, in Status.
// notes: what the run passed over on purpose ("3 copies skipped"), shown in
// the row after the run's own status; the record keeps that status alone.
void EndCrawlRun(EngineState& engine, ItemRef project, const std::string& name, bool errors,
                 const std::string& errorStatus = "Some errors occurred",
                 const std::string& doneStatus = "Success", const std::string& notes = {});

}  // namespace tvx
