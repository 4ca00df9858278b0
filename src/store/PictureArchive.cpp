#include "store/PictureArchive.h"

#include <algorithm>
#include <vector>

#include "store/Text.h"

namespace tvx {
namespace {

constexpr std::string_view kStates[] = {"saved", "copy", "deleted"};

// One field of a line: no tab or line break can take the line apart.
std::string Field(std::string_view text) {
  std::string out(text);
  std::erase_if(out, [](char c) { return c == '\t' || c == '\r' || c == '\n'; });
  return out;
}

std::string_view NextPart(std::string_view& line, char end) {
  const std::size_t at = line.find(end);
  const std::string_view part = line.substr(0, at);
  line = at == std::string_view::npos ? std::string_view() : line.substr(at + 1);
  return part;
}

bool IsDigest(std::string_view text) {
  return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

// "\t<state> <size> <sha256> <url>\t<path>\t<etag>\t<last-modified>"
std::optional<ArchiveEntry> ParseEntry(std::string_view line) {
  line = TrimLineEnd(line);
  if (line.empty() || line[0] != '\t') return std::nullopt;
  line.remove_prefix(1);
  ArchiveEntry e;
  const std::string_view state = NextPart(line, ' ');
  const auto known = std::find(std::begin(kStates), std::end(kStates), state);
  if (known == std::end(kStates)) return std::nullopt;
  e.state = static_cast<ArchiveState>(known - std::begin(kStates));
  const std::string_view size = NextPart(line, ' ');
  if (size.empty() || size.size() > 19 ||
      !std::all_of(size.begin(), size.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  for (char c : size) e.size = e.size * 10 + static_cast<std::uint64_t>(c - '0');
  const std::string_view digest = NextPart(line, ' ');
  if (!IsDigest(digest)) return std::nullopt;
  e.sha256 = digest;
  e.url = NextPart(line, '\t');
  e.path = NextPart(line, '\t');
  e.etag = NextPart(line, '\t');
  e.lastModified = line;
  if (e.url.empty() || e.path.empty()) return std::nullopt;
  return e;
}

}  // namespace

PictureArchive::Project* PictureArchive::Find(std::string_view name) {
  auto it = projects_.find(LowerCopy(name));
  return it == projects_.end() ? nullptr : &it->second;
}

const PictureArchive::Project* PictureArchive::Find(std::string_view name) const {
  auto it = projects_.find(LowerCopy(name));
  return it == projects_.end() ? nullptr : &it->second;
}

PictureArchive::Project& PictureArchive::Make(std::string_view name) {
  Project& p = projects_[LowerCopy(name)];
  if (p.name.empty()) p.name = Field(name);
  return p;
}

void PictureArchive::Put(Project& project, ArchiveEntry entry) {
  entry.url = Field(entry.url);
  entry.path = Field(entry.path);
  entry.etag = Field(entry.etag);
  entry.lastModified = Field(entry.lastModified);
  auto old = project.byUrl.find(entry.url);
  if (old != project.byUrl.end()) {
    auto content = project.byContent.find(old->second.sha256);
    if (content != project.byContent.end() && content->second == entry.url)
      project.byContent.erase(content);
  }
  if (entry.state == ArchiveState::Saved) project.byContent.try_emplace(entry.sha256, entry.url);
  std::string url = entry.url;
  project.byUrl.insert_or_assign(std::move(url), std::move(entry));
}

const ArchiveEntry* PictureArchive::Content(const Project& project, std::string_view sha256) {
  auto it = project.byContent.find(std::string(sha256));
  if (it == project.byContent.end()) return nullptr;
  auto entry = project.byUrl.find(it->second);
  if (entry == project.byUrl.end() || entry->second.state != ArchiveState::Saved ||
      entry->second.sha256 != sha256)
    return nullptr;
  return &entry->second;
}

void PictureArchive::Changed() {
  modified_ = true;
  ++generation_;
}

std::optional<ArchiveEntry> PictureArchive::Find(std::string_view project,
                                                 std::string_view url) const {
  std::lock_guard lock(mutex_);
  const Project* p = Find(project);
  if (!p) return std::nullopt;
  auto it = p->byUrl.find(std::string(url));
  if (it == p->byUrl.end()) return std::nullopt;
  return it->second;
}

void PictureArchive::Record(std::string_view project, ArchiveEntry entry) {
  std::lock_guard lock(mutex_);
  Put(Make(project), std::move(entry));
  Changed();
}

std::optional<ArchiveEntry> PictureArchive::FindContent(std::string_view project,
                                                        std::string_view url,
                                                        std::string_view sha256,
                                                        bool anyProject) const {
  std::lock_guard lock(mutex_);
  const Project* own = Find(project);
  if (own)
    if (const ArchiveEntry* e = Content(*own, sha256); e && e->url != url) return *e;
  if (!anyProject) return std::nullopt;
  for (const auto& [key, p] : projects_)
    if (const ArchiveEntry* e = Content(p, sha256); e && &p != own) return *e;
  return std::nullopt;
}

bool PictureArchive::MarkDeletedByUser(std::string_view project, std::string_view path) {
  std::string shownPath(path);
  std::replace(shownPath.begin(), shownPath.end(), '/', '\\');
  if (shownPath.rfind("Pictures\\", 0) != 0) shownPath.insert(0, "Pictures\\");
  std::lock_guard lock(mutex_);
  Project* p = Find(project);
  if (!p) return false;
  std::vector<ArchiveEntry> marked;
  for (const auto& [url, e] : p->byUrl)
    if (e.state != ArchiveState::Deleted && e.path == shownPath) marked.push_back(e);
  for (ArchiveEntry& e : marked) {
    e.state = ArchiveState::Deleted;
    Put(*p, std::move(e));
  }
  if (!marked.empty()) Changed();
  return !marked.empty();
}

void PictureArchive::Rename(std::string_view from, std::string_view to) {
  std::lock_guard lock(mutex_);
  if (EqualsIgnoreCase(from, to)) {
    if (Project* p = Find(from); p && p->name != to) {
      p->name = Field(to);
      Changed();
    }
    return;
  }
  auto it = projects_.find(LowerCopy(from));
  if (it == projects_.end()) return;
  Project moved = std::move(it->second);
  projects_.erase(it);
  Project& target = Make(to);
  for (auto& [url, e] : moved.byUrl) Put(target, std::move(e));
  Changed();
}

void PictureArchive::Forget(std::string_view project) {
  std::lock_guard lock(mutex_);
  if (projects_.erase(LowerCopy(project)) > 0) Changed();
}

void PictureArchive::ForgetAll() {
  std::lock_guard lock(mutex_);
  if (projects_.empty()) return;
  projects_.clear();
  Changed();
}

void PictureArchive::Reset() {
  std::lock_guard lock(mutex_);
  projects_.clear();
  modified_ = false;
}

std::size_t PictureArchive::EntriesOf(std::string_view project) const {
  std::lock_guard lock(mutex_);
  const Project* p = Find(project);
  return p ? p->byUrl.size() : 0;
}

void PictureArchive::Read(std::string_view content) {
  std::lock_guard lock(mutex_);
  std::size_t pos = 0;
  Project* current = nullptr;
  while (pos < content.size()) {
    std::size_t end = content.find('\n', pos);
    if (end == std::string_view::npos) end = content.size();
    const std::string_view line = TrimLineEnd(content.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty()) continue;
    if (line[0] != '\t') {
      current = &Make(line.substr(0, 79));
    } else if (current) {
      // A line that is not whole or not ours is passed over.
      if (std::optional<ArchiveEntry> e = ParseEntry(line)) Put(*current, std::move(*e));
    }
  }
  modified_ = false;
}

bool PictureArchive::Modified() const {
  std::lock_guard lock(mutex_);
  return modified_;
}

std::string PictureArchive::Format(std::uint64_t& generation) const {
  std::lock_guard lock(mutex_);
  generation = generation_;
  std::vector<const Project*> order;
  for (const auto& [key, p] : projects_)
    if (!p.byUrl.empty()) order.push_back(&p);
  std::sort(order.begin(), order.end(),
            [](const Project* a, const Project* b) { return a->name < b->name; });
  std::string data;
  for (const Project* p : order) {
    data += p->name;
    data += "\r\n";
    std::vector<const ArchiveEntry*> entries;
    entries.reserve(p->byUrl.size());
    for (const auto& [url, e] : p->byUrl) entries.push_back(&e);
    std::sort(entries.begin(), entries.end(),
              [](const ArchiveEntry* a, const ArchiveEntry* b) { return a->url < b->url; });
    for (const ArchiveEntry* e : entries) {
      data += '\t';
      data += kStates[static_cast<int>(e->state)];
      data += ' ';
      data += std::to_string(e->size);
      data += ' ';
      data += e->sha256;
      data += ' ';
      data += e->url;
      data += '\t';
      data += e->path;
      data += '\t';
      data += e->etag;
      data += '\t';
      data += e->lastModified;
      data += "\r\n";
    }
  }
  return data;
}

}  // namespace tvx
