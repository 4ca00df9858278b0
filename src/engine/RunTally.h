#pragma once
// What the reports of one run tell about the items started in it: how far
// each has come, what a project saved, the texts each showed, and, once its
// worker has gone, how it ended. It stands between the engine and what shows
// the reports (the window, or the command line's output), noting what passes
// and handing every report on unchanged; it is asked on the user-interface
// thread, where the reports arrive.
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "workers/EngineState.h"

namespace tvx {

class RunTally final : public Reporter {
 public:
  using Clock = std::chrono::steady_clock;

  // Every report goes on to next (none when null), which also answers the
  // hints.
  RunTally(EngineState& engine, Reporter* next);

  struct Item {
    ItemRef ref;
    std::string text;  // a file's URL, a project's name
    Clock::time_point started;
    // How far it has come, as its bar shows it: bytes of a file of a told
    // size, pictures saved of those met by a crawl.
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    std::uint64_t bytesRead = 0;  // a file's bytes so far, size told or not
    int picturesSaved = 0;        // by a web-site project
    std::uint64_t bytesSaved = 0;
    int linksFound = 0;         // by a search project
    std::string status;         // the last status text of its row or the status view
    std::string message;        // a message its worker showed
    std::string searchFailure;  // an engine's failure text
    bool searchStopped = false;
  };
  enum class Outcome {
    Succeeded,
    Failed,
    Stopped,  // asked to end (the program is ending), or deleted while it ran
  };
  struct Ended {
    Item item;
    Outcome outcome = Outcome::Succeeded;
    std::string reason;  // why it failed, on one line
  };

  // Items are tracked from their start (FollowItem) until their workers have
  // ended; these hand over those that ended since the last call, in start
  // order, with how each ended.
  std::vector<Ended> TakeEnded();
  // The tracked items whose workers still run, in start order.
  const std::vector<Item>& Running() const { return items_; }
  bool Tracks(ItemRef item) const;

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
  Item* Find(ItemRef item);
  // The running item a report without an item is about: the worker that
  // made it, else the project of that name in that list.
  Item* ItemOfWorkerOr(int list, std::string_view name);
  void NoteStatus(ItemRef item, const std::string& text);
  Ended EndOf(const Item& item) const;

  EngineState& engine_;
  Reporter* next_;
  NullReporter none_;
  std::vector<Item> items_;
  std::unordered_map<ProjectNode, std::string> projectOfNode_;
};

// A text on one line: line breaks and runs of blanks become one space.
std::string OneLine(std::string_view text);

}  // namespace tvx
