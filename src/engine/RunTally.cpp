#include "engine/RunTally.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

#include "store/Text.h"

namespace tvx {
namespace {

constexpr std::string_view kDownloading = "Downloading...";
constexpr std::string_view kRead = "k read";

WorkerKind KindOf(int list) {
  switch (list) {
    case kListRequestedSites:
      return WorkerKind::Site;
    case kListSearchProjects:
      return WorkerKind::Search;
    default:
      return WorkerKind::File;
  }
}

// The bytes a file worker's "Downloading...1.50k read" tells; 0 for any
// other text.
std::uint64_t BytesOfReadText(std::string_view text) {
  if (text.substr(0, kDownloading.size()) != kDownloading || text.size() < kRead.size() ||
      text.substr(text.size() - kRead.size()) != kRead)
    return 0;
  const std::string number(
      text.substr(kDownloading.size(), text.size() - kDownloading.size() - kRead.size()));
  char* end = nullptr;
  const double kilobytes = std::strtod(number.c_str(), &end);
  if (end == number.c_str() || kilobytes < 0) return 0;
  return static_cast<std::uint64_t>(kilobytes * 1024.0 + 0.5);
}

// Texts the search runner shows when an engine gave nothing. Engines that
// tell their failures in words of their own are to be named here too.
bool IsSearchFailure(std::string_view text) { return text.substr(0, 6) == "Error "; }

std::uint64_t SizeOfShownPath(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

std::string RecordText(EngineState& engine, ItemRef item) {
  return WithList(engine.lists, item.list, [&](const auto& list) {
    auto record = list.CopyOf(item.id);
    return record ? std::string(KeyOf(*record)) : std::string();
  });
}

}  // namespace

std::string OneLine(std::string_view text) {
  std::string out;
  bool blank = false;
  for (char c : text) {
    if (c == '\n' || c == '\r' || c == '\t' || c == ' ') {
      blank = !out.empty();
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    out += c;
  }
  return out;
}

RunTally::RunTally(EngineState& engine, Reporter* next) : engine_(engine), next_(next) {}

RunTally::Item* RunTally::Find(ItemRef item) {
  for (Item& i : items_)
    if (i.ref == item) return &i;
  return nullptr;
}

bool RunTally::Tracks(ItemRef item) const {
  return std::any_of(items_.begin(), items_.end(), [&](const Item& i) { return i.ref == item; });
}

RunTally::Item* RunTally::ItemOfWorkerOr(int list, std::string_view name) {
  const ItemRef worker = WorkerItemOfThisThread();
  if (worker.id != 0 && worker.list == list) return Find(worker);
  for (Item& i : items_)
    if (i.ref.list == list && EqualsIgnoreCase(i.text, name)) return &i;
  return nullptr;
}

void RunTally::NoteStatus(ItemRef item, const std::string& text) {
  Item* i = Find(item);
  if (!i) return;
  i->status = text;
  if (item.list == kListRequestedFiles) {
    if (std::uint64_t read = BytesOfReadText(text)) i->bytesRead = read;
  } else if (item.list == kListSearchProjects) {
    if (text == "Search Stopped") i->searchStopped = true;
    if (i->searchFailure.empty() && IsSearchFailure(text)) i->searchFailure = text;
  }
}

std::vector<RunTally::Ended> RunTally::TakeEnded() {
  TVX_ASSERT_UI_THREAD();
  std::vector<Ended> ended;
  // A worker leaves its registry only after its last report: once it is
  // gone, everything it had to say has been said.
  for (auto it = items_.begin(); it != items_.end();) {
    if (engine_.workers.Find(KindOf(it->ref.list), it->ref.id)) {
      ++it;
      continue;
    }
    ended.push_back(EndOf(*it));
    it = items_.erase(it);
  }
  return ended;
}

RunTally::Ended RunTally::EndOf(const Item& item) const {
  Ended end{item, Outcome::Succeeded, {}};
  const Lists& lists = engine_.lists;
  const ItemId id = item.ref.id;
  auto failed = [&](std::string reason) {
    end.outcome = Outcome::Failed;
    end.reason = OneLine(item.message.empty() ? reason : item.message);
    return end;
  };
  auto stopped = [&] {
    end.outcome = Outcome::Stopped;
    return end;
  };
  switch (item.ref.list) {
    case kListRequestedFiles: {
      if (lists.downloadedFiles.IndexOf(id) >= 0) return end;
      const auto record = lists.requestedFiles.CopyOf(id);
      if (!record) {
        // Dropped by its worker (not a picture), or deleted by the user.
        return item.message.empty() ? stopped() : failed(item.status);
      }
      const std::string status(TextOf(record->status));
      if (status == "Stopped") return stopped();
      // The record keeps a failure's text; a worker that only showed a
      // message leaves the status it started with.
      const bool told = status != kReadyForDownload && status.rfind(kDownloading, 0) != 0;
      return failed(told ? status : item.status);
    }
    case kListRequestedSites: {
      if (lists.downloadedSites.IndexOf(id) >= 0) return end;
      const auto record = lists.requestedSites.CopyOf(id);
      if (!record) return stopped();
      if (TextOf(record->status) == "Stopped") return stopped();
      // The crawl's last Status text says why it ended with errors.
      return failed(item.status.empty() ? std::string(TextOf(record->status)) : item.status);
    }
    case kListSearchProjects:
      if (lists.searchProjects.IndexOf(id) < 0 || item.searchStopped) return stopped();
      if (!item.searchFailure.empty()) return failed(item.searchFailure);
      return end;
  }
  return end;
}

bool RunTally::ItemAdded(ItemRef item, const std::string& text, const std::string& status) {
  // A search result's status names the search project that found it.
  if (item.list == kListSearchResults) {
    if (Item* search = ItemOfWorkerOr(kListSearchProjects, status)) ++search->linksFound;
  }
  return next_ ? next_->ItemAdded(item, text, status) : none_.ItemAdded(item, text, status);
}

void RunTally::ItemRemoved(ItemRef item) {
  if (next_) next_->ItemRemoved(item);
}

void RunTally::AllItemsRemoved() {
  if (next_) next_->AllItemsRemoved();
}

void RunTally::ItemStatus(ItemRef item, const std::string& text) {
  NoteStatus(item, text);
  if (next_) next_->ItemStatus(item, text);
}

void RunTally::ItemText(ItemRef item, const std::string& text) {
  if (Item* i = Find(item)) i->text = text;
  if (next_) next_->ItemText(item, text);
}

void RunTally::ItemProgress(ItemRef item, std::uint64_t done, std::uint64_t total) {
  if (Item* i = Find(item)) {
    i->done = done;
    i->total = total;
    if (item.list == kListRequestedFiles && total > 0) i->bytesRead = done;
  }
  if (next_) next_->ItemProgress(item, done, total);
}

void RunTally::FollowItem(ItemRef item) {
  TVX_ASSERT_UI_THREAD();
  const bool worked = item.list == kListRequestedFiles || item.list == kListRequestedSites ||
                      item.list == kListSearchProjects;
  if (worked && !Find(item)) {
    Item started;
    started.ref = item;
    started.text = RecordText(engine_, item);
    started.started = Clock::now();
    items_.push_back(std::move(started));
  }
  if (next_) next_->FollowItem(item);
}

bool RunTally::ItemStatusText(ItemRef item, StatusField field, const std::string& text,
                              WhenFollowed when) {
  if (field == StatusField::Status) NoteStatus(item, text);
  return next_ ? next_->ItemStatusText(item, field, text, when)
               : none_.ItemStatusText(item, field, text, when);
}

void RunTally::SetStatusText(StatusField field, const std::string& text) {
  if (next_) next_->SetStatusText(field, text);
}

void RunTally::StartBusy() {
  if (next_) next_->StartBusy();
}

void RunTally::StopBusy() {
  if (next_) next_->StopBusy();
}

ProjectNode RunTally::FindOrAddProject(const std::string& name) {
  ProjectNode node = next_ ? next_->FindOrAddProject(name) : none_.FindOrAddProject(name);
  projectOfNode_[node] = name;
  return node;
}

void RunTally::AddFile(ProjectNode project, const std::string& path) {
  auto named = projectOfNode_.find(project);
  Item* site =
      ItemOfWorkerOr(kListRequestedSites, named == projectOfNode_.end() ? "" : named->second);
  if (site) {
    ++site->picturesSaved;
    site->bytesSaved += SizeOfShownPath(path);
  }
  if (next_) next_->AddFile(project, path);
}

void RunTally::ShowMessage(const std::string& text) {
  if (Item* i = Find(WorkerItemOfThisThread()); i && i->message.empty()) i->message = text;
  if (next_) next_->ShowMessage(text);
}

bool RunTally::MayShowList(int list) const { return next_ && next_->MayShowList(list); }

bool RunTally::MayShowStatusOf(ItemRef item) const { return next_ && next_->MayShowStatusOf(item); }

}  // namespace tvx
