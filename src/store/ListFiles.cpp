#include "store/ListFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>

#include "store/Lists.h"

namespace tvx {
namespace {

// A forward-only reader over a file with the few scanning steps the list
// formats need. Every step either consumes input or reports the end, so a
// damaged file cannot make the loader loop.
class Scanner {
 public:
  explicit Scanner(std::FILE* f) : f_(f) {}

  bool AtEnd() { return Peek() == EOF; }

  void SkipSpace() {
    int c;
    while ((c = Peek()) != EOF && IsSpace(c)) Next();
  }

  // Reads the next run of non-blank characters; keeps at most cap - 1.
  std::string Token(std::size_t cap) {
    SkipSpace();
    std::string out;
    int c;
    while ((c = Peek()) != EOF && !IsSpace(c)) {
      if (out.size() + 1 < cap) out.push_back(static_cast<char>(c));
      Next();
    }
    return out;
  }

  // Reads the rest of the line without its end (CR LF or LF); keeps at most
  // cap - 1 characters and drops the rest of an over-long line.
  std::string Line(std::size_t cap) {
    std::string out;
    int c;
    while ((c = Next()) != EOF && c != '\n') {
      if (out.size() + 1 < cap) out.push_back(static_cast<char>(c));
    }
    if (!out.empty() && out.back() == '\r') out.pop_back();
    return out;
  }

  // Reads a decimal integer after blanks; 0 (and nothing consumed but the
  // blanks) when none stands there. Out-of-range values are clamped.
  int Int() {
    SkipSpace();
    bool negative = false;
    int c = Peek();
    if (c == '-' || c == '+') {
      // A lone sign is not a number: like a failed conversion, it stays put
      // only if no digit follows; consume it to guarantee progress.
      negative = (c == '-');
      Next();
    }
    long long value = 0;
    bool any = false;
    while ((c = Peek()) != EOF && c >= '0' && c <= '9') {
      any = true;
      if (value <= INT_MAX) value = value * 10 + (c - '0');
      Next();
    }
    if (!any) return 0;
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    if (value < INT_MIN) value = INT_MIN;
    return static_cast<int>(value);
  }

  // Skips blanks, one '*' if it stands there, and the blanks after it.
  void EndOfRecord() {
    SkipSpace();
    if (Peek() == '*') Next();
    SkipSpace();
  }

  long Position() const { return consumed_; }
  // The errno of a failed read; 0 when none failed. A failed read ends the
  // input.
  int Error() const { return error_; }

 private:
  static bool IsSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
  }
  int Peek() {
    if (!hasPeek_) {
      peek_ = error_ ? EOF : std::getc(f_);
      if (peek_ == EOF && !error_ && std::ferror(f_)) error_ = errno ? errno : EIO;
      hasPeek_ = true;
    }
    return peek_;
  }
  int Next() {
    int c = Peek();
    hasPeek_ = false;
    if (c != EOF) ++consumed_;
    return c;
  }

  std::FILE* f_;
  int peek_ = EOF;
  bool hasPeek_ = false;
  long consumed_ = 0;
  int error_ = 0;
};

template <class T>
using Reader = T (*)(Scanner&, const char* status);

FileRecord ReadFileRecord(Scanner& in, const char* status) {
  FileRecord r{};
  SetText(r.url, in.Token(sizeof r.url));
  in.SkipSpace();
  SetText(r.status, status);
  return r;
}

SiteProject ReadSiteProject(Scanner& in, const char* status) {
  SiteProject p{};
  SetText(p.name, in.Line(sizeof p.name));
  SetText(p.startUrl, in.Token(sizeof p.startUrl));
  p.downloadAllFiles = in.Int();
  p.typeCdr = in.Int();
  p.typeGif = in.Int();
  p.typeJpg = in.Int();
  p.typeBmp = in.Int();
  p.typePng = in.Int();
  p.typeTga = in.Int();
  p.typeTif = in.Int();
  p.runWhenRequested = in.Int();
  p.startMinute = in.Int();
  p.startHour = in.Int();
  p.stopWhenRequested = in.Int();
  p.stopMinute = in.Int();
  p.stopHour = in.Int();
  p.maxDomainCount = in.Int();
  p.reserved = in.Int();
  p.exitDomain = in.Int();
  in.EndOfRecord();
  SetText(p.status, status);
  return p;
}

SearchProject ReadSearchProject(Scanner& in, const char* status) {
  SearchProject p{};
  SetText(p.name, in.Line(sizeof p.name));
  SetText(p.searchText, in.Line(sizeof p.searchText));
  p.useAltaVista = in.Int();
  p.useHotBot = in.Int();
  p.useYahoo = in.Int();
  p.useNorthernLight = in.Int();
  p.useWebCrawler = in.Int();
  p.useMsn = in.Int();
  p.useGo2Net = in.Int();
  p.runWhenRequested = in.Int();
  p.startMinute = in.Int();
  p.startHour = in.Int();
  p.stopWhenRequested = in.Int();
  p.stopMinute = in.Int();
  p.stopHour = in.Int();
  in.EndOfRecord();
  SetText(p.status, status);
  return p;
}

// Opens a list file for reading. Only a regular file is read (a symbolic
// link to one is fine); opening does not wait on a FIFO. Gives nullptr with
// an empty reason when the file does not exist, and with the reason when it
// exists but cannot be read.
std::FILE* OpenForReading(const std::string& fileName, std::string& reason) {
  reason.clear();
  int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    if (errno != ENOENT) reason = std::strerror(errno);
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0)
    reason = std::strerror(errno);
  else if (S_ISDIR(st.st_mode))
    reason = std::strerror(EISDIR);
  else if (!S_ISREG(st.st_mode))
    reason = "not a regular file";
  std::FILE* f = reason.empty() ? ::fdopen(fd, "rb") : nullptr;
  if (!f) {
    if (reason.empty()) reason = std::strerror(errno);
    ::close(fd);
  }
  return f;
}

// Loads one file into list; gives the reason when the file exists but could
// not be read (whole), empty otherwise.
template <class T>
std::string LoadList(RecordList<T>& list, const std::string& fileName, const char* status,
                     Reader<T> read) {
  std::string reason;
  std::FILE* f = OpenForReading(fileName, reason);
  if (!f) return reason;
  // A file holding only white space yields no record; each record reader
  // skips the white space behind its record, so the end is met right after
  // the last one.
  bool onlySpace = true;
  for (int c; onlySpace && (c = std::getc(f)) != EOF;)
    onlySpace = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
  int error = std::ferror(f) ? (errno ? errno : EIO) : 0;
  if (!error) {
    std::rewind(f);
    Scanner in(f);
    while (!onlySpace && !in.AtEnd()) {
      long before = in.Position();
      list.Add(read(in, status));
      if (in.Position() == before) break;  // cannot happen; guards against a loop
    }
    error = in.Error();
  }
  std::fclose(f);
  list.SetModified(false);
  return error ? std::strerror(error) : std::string();
}
// Writing: the text of one record in the file layout, lines ending in CR LF.
void Append(std::string& out, std::string_view text) {
  out.append(text);
  out.append("\r\n");
}

void Ints(std::string& out, std::initializer_list<int> values) {
  bool first = true;
  for (int v : values) {
    if (!first) out.push_back(' ');
    out.append(std::to_string(v));
    first = false;
  }
  out.append("\r\n");
}

void Format(std::string& out, const FileRecord& r) { Append(out, TextOf(r.url)); }

void Format(std::string& out, const SiteProject& p) {
  Append(out, TextOf(p.name));
  Append(out, TextOf(p.startUrl));
  Ints(out, {p.downloadAllFiles});
  Ints(out, {p.typeCdr, p.typeGif, p.typeJpg, p.typeBmp, p.typePng, p.typeTga, p.typeTif});
  Ints(out, {p.runWhenRequested, p.startMinute, p.startHour});
  Ints(out, {p.stopWhenRequested, p.stopMinute, p.stopHour});
  Ints(out, {p.maxDomainCount, p.reserved, p.exitDomain});
  Append(out, "*");
}

void Format(std::string& out, const SearchProject& p) {
  Append(out, TextOf(p.name));
  Append(out, TextOf(p.searchText));
  Ints(out, {p.useAltaVista, p.useHotBot, p.useYahoo, p.useNorthernLight, p.useWebCrawler, p.useMsn,
             p.useGo2Net});
  Ints(out, {p.runWhenRequested, p.startMinute, p.startHour});
  Ints(out, {p.stopWhenRequested, p.stopMinute, p.stopHour});
  Append(out, "*");
}

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Follows symbolic links from path to the file they end in, which need not
// exist yet. nullopt when the links go round (or on too many of them).
std::optional<std::string> FollowLinks(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
    ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<std::size_t>(n) >= target.size()) return std::nullopt;
    target.resize(static_cast<std::size_t>(n));
    path = target.starts_with('/') ? target : FolderOf(path) + target;
  }
  return std::nullopt;
}

// The permissions a new file gets from the process's umask, read once
// (without changing the umask, which other threads may rely on).
mode_t NewFileMode() {
  static const mode_t mode = [] {
    mode_t mask = 022;
    if (std::FILE* f = std::fopen("/proc/self/status", "re")) {
      char line[256];
      while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "Umask:", 6) == 0)
          mask = static_cast<mode_t>(std::strtoul(line + 6, nullptr, 8));
      std::fclose(f);
    }
    return static_cast<mode_t>(0666 & ~mask);
  }();
  return mode;
}

// Writes data to a temporary file of its own beside the file fileName names
// (through its links), flushes it to the disk and renames it over that file,
// so the file is always either old or new, whole. The temporary name is new
// for every write, so two writers never share one. The new file keeps the old
// one's mode and owner where the system lets it.
bool ReplaceFile(const std::string& fileName, const std::string& data, bool fail) {
  std::optional<std::string> target = FollowLinks(fileName);
  if (!target) return false;
  struct stat old {};
  const bool hadOld = ::stat(target->c_str(), &old) == 0 && S_ISREG(old.st_mode);
  std::string temp = *target + ".tmp.XXXXXX";
  // mkostemp makes the file with O_EXCL: nothing planted at the name is
  // ever written through.
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  if (hadOld) {
    // Owner first: changing it may clear set-id bits that the mode restores.
    // Both may be refused (another user's file); the content matters more.
    if (::fchown(fd, old.st_uid, old.st_gid) != 0 &&
        ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
      // Keeps this user as the owner.
    }
    if (::fchmod(fd, old.st_mode & 07777) != 0) {
      // Keeps the mode it was made with.
    }
  } else if (::fchmod(fd, NewFileMode()) != 0) {
    // Keeps the mode it was made with.
  }
  bool ok = !fail && WriteAll(fd, data) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && std::rename(temp.c_str(), target->c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  // The rename itself reaches the disk with its folder.
  std::string folder = FolderOf(*target);
  int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    (void)::fsync(dir);
    ::close(dir);
  }
  return true;
}

// An emptied list has no file; through a link, the link stays and its target
// goes. A failure (for instance, there was no file) is ignored.
void RemoveListFile(const std::string& fileName) {
  if (std::optional<std::string> target = FollowLinks(fileName)) ::unlink(target->c_str());
}

constexpr const char* kSavedFilesError = "Error saving the 'Requested Files' list!";
constexpr const char* kSavedSitesError = "Error saving the 'Requested Web Sites' list!";
constexpr const char* kSavedSearchError = "Error saving the 'Requested Search Projects' list!";

enum ListId : int {
  kReqFiles,
  kReqSites,
  kSearchProj,
  kDnldFiles,
  kDnldSites,
  kSearchRes,
  kListCount
};

struct ListFileInfo {
  const char* name;
  const char* errorText;
  const char* loadStatus;
  int kind;
};

constexpr std::array<ListFileInfo, kListCount> kListFiles = {{
    {"reqpics.data", kSavedFilesError, "Ready for download", kListRequestedFiles},
    {"reqpicwebs.data", kSavedSitesError, "Ready for download", kListRequestedSites},
    {"reqpicsearch.data", kSavedSearchError, "Ready for download", kListSearchProjects},
    {"dnldpics.data", kSavedFilesError, "Success", kListDownloadedFiles},
    {"dnldpicwebs.data", kSavedSitesError, "Success", kListDownloadedSites},
    {"picsearchres.data", kSavedFilesError, "New Project", kListSearchResults},
}};

constexpr std::array<ListId, kListCount> kLoadOrder = {kReqFiles,  kReqSites,   kDnldFiles,
                                                       kDnldSites, kSearchProj, kSearchRes};

// Where the content of a file that could not be read is kept instead.
constexpr const char* kUnsavedSuffix = ".unsaved";

// Records move between lists as follows, always added to the new list before
// they leave the old one:
//   requested files -> downloaded files      (a download ends)
//   requested sites -> downloaded sites      (a crawl ends)
//   search projects -> search results        (a search appends its links)
//   search results  -> requested files/sites (Send To copies; the result
//                                             may be deleted afterwards)
// The files are written with every move's new list before its old one, so an
// end between two files leaves a moved record in both files, never in
// neither.
constexpr std::array<ListId, kListCount> kWriteOrder = {kDnldFiles, kDnldSites, kReqFiles,
                                                        kReqSites,  kSearchRes, kSearchProj};

// One list's content to be written: formatted at one moment under its lock.
struct Pending {
  bool write = false;
  int count = 0;
  std::uint64_t generation = 0;
  std::string data;
};

template <class T>
Pending Prepare(const RecordList<T>& list, const ListStore::FileState& state, SaveScope scope) {
  Pending p;
  list.Locked([&] {
    if (!list.IsModified()) return;
    p.generation = list.Generation();
    if (scope == SaveScope::ChangedSinceSave && state.written &&
        state.writtenGeneration == p.generation)
      return;
    p.write = true;
    p.count = list.GetCount();
    for (int i = 0; i < p.count; ++i) Format(p.data, *list.GetAt(i));
  });
  return p;
}

// Reads a whole side file; gives the reason when it exists but could not be
// read (whole), empty otherwise.
std::string LoadSideFile(SideFile& side, const std::string& fileName) {
  std::string reason;
  std::FILE* f = OpenForReading(fileName, reason);
  if (!f) return reason;
  std::string content;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) content.append(buffer, n);
  const int error = std::ferror(f) ? (errno ? errno : EIO) : 0;
  std::fclose(f);
  if (error) return std::strerror(error);
  side.Read(content);
  return {};
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// A file could not be read: where this run keeps its content instead, and
// what the message says of it. load reads the file an earlier run kept aside
// into memory (gives its failure reason, empty when read or absent).
ListStore::FileState KeepAside(const std::string& name,
                               const std::function<std::string(const std::string&)>& load,
                               std::string& said) {
  ListStore::FileState state;
  state.unreadable = true;
  const std::string aside = name + kUnsavedSuffix;
  if (!Exists(aside)) {
    state.target = aside;
  } else if (load(aside).empty()) {
    // Earlier runs' records are in memory now, and go back there with this
    // run's.
    state.target = aside;
    said = " The records earlier runs kept in '" + aside + "' are loaded from it.";
  } else {
    for (int n = 2;; ++n) {
      std::string numbered = aside + "." + std::to_string(n);
      if (!Exists(numbered)) {
        state.target = numbered;
        break;
      }
    }
    said = " '" + aside + "' cannot be read either and is left as it is.";
  }
  return state;
}

}  // namespace

ListStore::ListStore(Lists& lists, std::vector<SideFile*> sideFiles)
    : lists_(lists), sideFiles_(std::move(sideFiles)), sideStates_(sideFiles_.size()) {}

void ListStore::ShowMessage(const std::string& text) {
  std::function<void(const std::string&)> hook;
  {
    std::lock_guard lock(hookMutex_);
    hook = messageHook_;
  }
  if (hook)
    hook(text);
  else
    std::cerr << "Tavrinox: " << text << '\n';
}

void ListStore::CallFileHook(const std::string& fileName) {
  std::function<void(const std::string&)> hook;
  {
    std::lock_guard lock(hookMutex_);
    hook = fileHook_;
  }
  if (hook) hook(fileName);
}

bool ListStore::Replace(const std::string& fileName, const std::string& data) {
  bool fail;
  {
    std::lock_guard lock(hookMutex_);
    fail = !writeFault_.empty() && writeFault_ == fileName;
  }
  return ReplaceFile(fileName, data, fail);
}

void ListStore::LoadAll() {
  std::unique_lock save(saveMutex_);
  std::string message;
  auto add = [&message](const std::string& text) {
    if (!message.empty()) message += '\n';
    message += text;
  };
  for (ListId id : kLoadOrder) {
    const ListFileInfo& file = kListFiles[id];
    auto load = [&](const std::string& name) {
      return WithList(lists_, file.kind, [&](auto& list) {
        using T = std::decay_t<decltype(*list.GetAt(0))>;
        if constexpr (std::is_same_v<T, FileRecord>)
          return LoadList(list, name, file.loadStatus, ReadFileRecord);
        else if constexpr (std::is_same_v<T, SiteProject>)
          return LoadList(list, name, file.loadStatus, ReadSiteProject);
        else
          return LoadList(list, name, file.loadStatus, ReadSearchProject);
      });
    };
    files_[id] = FileState{};
    const std::string reason = load(file.name);
    if (reason.empty()) continue;
    std::string said;
    files_[id] = KeepAside(file.name, load, said);
    add(std::string("Error reading the list file '") + file.name + "' (" + reason +
        "): it is left as it is; this run saves the list to '" + files_[id].target + "' instead." +
        said);
  }
  for (std::size_t i = 0; i < sideFiles_.size(); ++i) {
    SideFile& side = *sideFiles_[i];
    auto load = [&](const std::string& name) { return LoadSideFile(side, name); };
    sideStates_[i] = FileState{};
    const std::string reason = load(side.FileName());
    if (reason.empty()) continue;
    std::string said;
    sideStates_[i] = KeepAside(side.FileName(), load, said);
    add(std::string("Error reading the ") + side.Contents() + " file '" + side.FileName() + "' (" +
        reason + "): it is left as it is; this run saves the " + side.ShortContents() + " to '" +
        sideStates_[i].target + "' instead." + said);
  }
  // The box waits for the user; a save may run meanwhile.
  save.unlock();
  if (!message.empty()) ShowMessage(message);
}

bool ListStore::WriteOne(FileState& state, const std::string& name, bool remove,
                         const std::string& data, std::uint64_t generation, SaveScope scope) {
  // A file that could not be read is never replaced: its content goes to a
  // file beside it, so records that moved into it are not lost either.
  const std::string target = state.unreadable ? state.target : name;
  CallFileHook(target);
  bool ok = true;
  if (remove)
    RemoveListFile(target);
  else
    ok = Replace(target, data);
  if (ok) {
    state.written = true;
    state.writtenGeneration = generation;
  }
  const bool report = !ok && (scope == SaveScope::Modified || !state.lastWriteFailed);
  state.lastWriteFailed = !ok;
  return report;
}

std::vector<std::string> ListStore::Write(SaveScope scope) {
  std::lock_guard save(saveMutex_);
  // Each list's picture is taken before those of the lists its records move
  // to (the write order backwards): a record moving while the pictures are
  // taken is then in the old list's picture or the new one's, or both.
  std::array<Pending, kListCount> pending;
  for (auto it = kWriteOrder.rbegin(); it != kWriteOrder.rend(); ++it)
    pending[*it] = WithList(lists_, kListFiles[*it].kind,
                            [&](const auto& list) { return Prepare(list, files_[*it], scope); });

  std::vector<std::string> errors;
  for (ListId id : kWriteOrder) {
    Pending& p = pending[id];
    if (!p.write) continue;
    if (WriteOne(files_[id], kListFiles[id].name, p.count == 0, p.data, p.generation, scope))
      errors.push_back(kListFiles[id].errorText);
    std::string().swap(p.data);
  }
  for (std::size_t i = 0; i < sideFiles_.size(); ++i) {
    SideFile& side = *sideFiles_[i];
    if (!side.Modified()) continue;
    std::uint64_t generation = 0;
    const std::string data = side.Format(generation);
    FileState& state = sideStates_[i];
    if (scope == SaveScope::ChangedSinceSave && state.written &&
        state.writtenGeneration == generation)
      continue;
    if (WriteOne(state, side.FileName(), data.empty(), data, generation, scope))
      errors.push_back(side.SaveError());
  }
  return errors;
}

void ListStore::SaveAll() {
  for (const std::string& text : Write(SaveScope::Modified)) ShowMessage(text);
}

void ListStore::SetMessageHook(std::function<void(const std::string&)> hook) {
  std::lock_guard lock(hookMutex_);
  messageHook_ = std::move(hook);
}

void ListStore::SetWriteFaultForTest(std::string fileName) {
  std::lock_guard lock(hookMutex_);
  writeFault_ = std::move(fileName);
}

void ListStore::SetFileHookForTest(std::function<void(const std::string&)> hook) {
  std::lock_guard lock(hookMutex_);
  fileHook_ = std::move(hook);
}

void ListStore::ResetForTest() {
  std::lock_guard save(saveMutex_);
  files_ = {};
  for (FileState& s : sideStates_) s = {};
}

ListAutoSaver::~ListAutoSaver() { Wait(); }

bool ListAutoSaver::Start(std::function<void(std::vector<std::string>)> done) {
  if (running_.load()) return false;
  if (thread_.joinable()) thread_.join();
  running_.store(true);
  thread_ = std::thread([this, done = std::move(done)] {
    std::vector<std::string> errors = store_.Write(SaveScope::ChangedSinceSave);
    if (done) done(std::move(errors));
    running_.store(false);
  });
  return true;
}

void ListAutoSaver::Wait() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace tvx
