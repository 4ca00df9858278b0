#include "store/ListFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>

#include "store/Lists.h"
#include "store/SiteOptions.h"

namespace tvx {
namespace {

std::mutex g_hookMutex;
std::function<void(const std::string&)> g_messageHook;
std::string g_writeFault;
std::function<void(const std::string&)> g_fileHook;

void ShowListMessage(const std::string& text) {
  std::function<void(const std::string&)> hook;
  {
    std::lock_guard lock(g_hookMutex);
    hook = g_messageHook;
  }
  if (hook)
    hook(text);
  else
    std::cerr << "Tavrinox: " << text << '\n';
}

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
std::FILE* OpenForReading(const char* fileName, std::string& reason) {
  reason.clear();
  int fd = ::open(fileName, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
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
std::string LoadList(RecordList<T>& list, const char* fileName, const char* status,
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

// Writes data to a temporary file beside the file fileName names (through
// its links), flushes it to the disk and renames it over that file, so the
// file is always either old or new, whole. The new file keeps the old one's
// mode and owner where the system lets it.
bool ReplaceFile(const char* fileName, const std::string& data) {
  std::optional<std::string> target = FollowLinks(fileName);
  if (!target) return false;
  struct stat old {};
  const bool hadOld = ::stat(target->c_str(), &old) == 0 && S_ISREG(old.st_mode);
  std::string temp = *target + ".tmp";
  // Whatever a stale temporary name holds (even a link planted there) is
  // removed, never written through.
  ::unlink(temp.c_str());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
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
  }
  bool ok;
  {
    std::lock_guard lock(g_hookMutex);
    ok = g_writeFault != fileName;
  }
  ok = ok && WriteAll(fd, data) && ::fsync(fd) == 0;
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
void RemoveListFile(const char* fileName) {
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
};

constexpr std::array<ListFileInfo, kListCount> kListFiles = {{
    {"reqpics.data", kSavedFilesError},
    {"reqpicwebs.data", kSavedSitesError},
    {"reqpicsearch.data", kSavedSearchError},
    {"dnldpics.data", kSavedFilesError},
    {"dnldpicwebs.data", kSavedSitesError},
    {"picsearchres.data", kSavedFilesError},
}};

// Where the list of a file that could not be read is saved instead.
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

// What this run knows about each list file. Guarded by g_saveMutex.
struct FileState {
  bool unreadable = false;  // exists but could not be read: never touched
  bool written = false;     // written (or deleted) by this run
  std::uint64_t writtenGeneration = 0;
  bool lastWriteFailed = false;  // the last attempt to write it failed
};

std::mutex g_saveMutex;  // one load or save at a time
std::array<FileState, kListCount> g_files;

// One list's content to be written: formatted at one moment under its lock.
struct Pending {
  bool write = false;
  int count = 0;
  std::uint64_t generation = 0;
  std::string data;
};

template <class T>
Pending Prepare(const RecordList<T>& list, const FileState& state, SaveScope scope) {
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

Pending Prepare(ListId id, SaveScope scope) {
  const FileState& state = g_files[id];
  switch (id) {
    case kReqFiles:
      return Prepare(RequestedFiles, state, scope);
    case kReqSites:
      return Prepare(RequestedSites, state, scope);
    case kSearchProj:
      return Prepare(SearchProjects, state, scope);
    case kDnldFiles:
      return Prepare(DownloadedFiles, state, scope);
    case kDnldSites:
      return Prepare(DownloadedSites, state, scope);
    case kSearchRes:
      return Prepare(SearchResults, state, scope);
    case kListCount:
      break;
  }
  return {};
}

// The options of web-site projects live in a file of their own beside the
// lists, read and written by the same rules. Guarded by g_saveMutex.
FileState g_optionsFile;
constexpr const char* kSavedOptionsError = "Error saving the web site options!";

// Reads the options file; gives the reason when it exists but could not be
// read (whole), empty otherwise.
std::string LoadSiteOptionsFile() {
  std::string reason;
  std::FILE* f = OpenForReading(kSiteOptionsFile, reason);
  if (!f) return reason;
  std::string content;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) content.append(buffer, n);
  const int error = std::ferror(f) ? (errno ? errno : EIO) : 0;
  std::fclose(f);
  if (error) return std::strerror(error);
  ReadSiteOptions(content);
  return {};
}

void CallFileHook(const char* fileName);

void WriteSiteOptionsFile(SaveScope scope, std::vector<std::string>& errors) {
  FileState& state = g_optionsFile;
  if (!SiteOptionsModified()) return;
  std::uint64_t generation = 0;
  const std::string data = FormatSiteOptions(generation);
  if (scope == SaveScope::ChangedSinceSave && state.written &&
      state.writtenGeneration == generation)
    return;
  const std::string target = state.unreadable ? std::string(kSiteOptionsFile) + kUnsavedSuffix
                                              : std::string(kSiteOptionsFile);
  CallFileHook(target.c_str());
  bool ok = true;
  if (data.empty())
    RemoveListFile(target.c_str());
  else
    ok = ReplaceFile(target.c_str(), data);
  if (ok) {
    state.written = true;
    state.writtenGeneration = generation;
  } else if (scope == SaveScope::Modified || !state.lastWriteFailed) {
    errors.push_back(kSavedOptionsError);
  }
  state.lastWriteFailed = !ok;
}

void CallFileHook(const char* fileName) {
  std::function<void(const std::string&)> hook;
  {
    std::lock_guard lock(g_hookMutex);
    hook = g_fileHook;
  }
  if (hook) hook(fileName);
}

}  // namespace

void LoadAllLists() {
  std::unique_lock save(g_saveMutex);
  std::array<std::string, kListCount> reasons;
  reasons[kReqFiles] =
      LoadList(RequestedFiles, "reqpics.data", "Ready for download", ReadFileRecord);
  reasons[kReqSites] =
      LoadList(RequestedSites, "reqpicwebs.data", "Ready for download", ReadSiteProject);
  reasons[kDnldFiles] = LoadList(DownloadedFiles, "dnldpics.data", "Success", ReadFileRecord);
  reasons[kDnldSites] = LoadList(DownloadedSites, "dnldpicwebs.data", "Success", ReadSiteProject);
  reasons[kSearchProj] =
      LoadList(SearchProjects, "reqpicsearch.data", "Ready for download", ReadSearchProject);
  reasons[kSearchRes] = LoadList(SearchResults, "picsearchres.data", "New Project", ReadFileRecord);

  std::string message;
  for (int id = 0; id < kListCount; ++id) {
    g_files[id] = FileState{};
    if (reasons[id].empty()) continue;
    g_files[id].unreadable = true;
    if (!message.empty()) message += '\n';
    message += std::string("Error reading the list file '") + kListFiles[id].name + "' (" +
               reasons[id] + "): it is left as it is; this run saves the list to '" +
               kListFiles[id].name + kUnsavedSuffix + "' instead.";
  }
  g_optionsFile = FileState{};
  if (std::string reason = LoadSiteOptionsFile(); !reason.empty()) {
    g_optionsFile.unreadable = true;
    if (!message.empty()) message += '\n';
    message += std::string("Error reading the web site options file '") + kSiteOptionsFile + "' (" +
               reason + "): it is left as it is; this run saves the options to '" +
               kSiteOptionsFile + kUnsavedSuffix + "' instead.";
  }
  // The box waits for the user; a save may run meanwhile.
  save.unlock();
  if (!message.empty()) ShowListMessage(message);
}

std::vector<std::string> WriteLists(SaveScope scope) {
  std::lock_guard save(g_saveMutex);
  // Each list's picture is taken before those of the lists its records move
  // to (the write order backwards): a record moving while the pictures are
  // taken is then in the old list's picture or the new one's, or both.
  std::array<Pending, kListCount> pending;
  for (auto it = kWriteOrder.rbegin(); it != kWriteOrder.rend(); ++it)
    pending[*it] = Prepare(*it, scope);

  std::vector<std::string> errors;
  for (ListId id : kWriteOrder) {
    Pending& p = pending[id];
    if (!p.write) continue;
    const ListFileInfo& file = kListFiles[id];
    FileState& state = g_files[id];
    // A file that could not be read is never replaced: its list goes to a
    // file beside it, so records that moved into it are not lost either.
    const std::string target =
        state.unreadable ? file.name + std::string(kUnsavedSuffix) : file.name;
    CallFileHook(target.c_str());
    bool ok = true;
    if (p.count == 0)
      RemoveListFile(target.c_str());
    else
      ok = ReplaceFile(target.c_str(), p.data);
    std::string().swap(p.data);
    if (ok) {
      state.written = true;
      state.writtenGeneration = p.generation;
    } else if (scope == SaveScope::Modified || !state.lastWriteFailed) {
      errors.push_back(file.errorText);
    }
    state.lastWriteFailed = !ok;
  }
  WriteSiteOptionsFile(scope, errors);
  return errors;
}

void SaveAllLists() {
  for (const std::string& text : WriteLists(SaveScope::Modified)) ShowListMessage(text);
}

ListAutoSaver::~ListAutoSaver() { Wait(); }

bool ListAutoSaver::Start(std::function<void(std::vector<std::string>)> done) {
  if (running_.load()) return false;
  if (thread_.joinable()) thread_.join();
  running_.store(true);
  thread_ = std::thread([this, done = std::move(done)] {
    std::vector<std::string> errors = WriteLists(SaveScope::ChangedSinceSave);
    if (done) done(std::move(errors));
    running_.store(false);
  });
  return true;
}

void ListAutoSaver::Wait() {
  if (thread_.joinable()) thread_.join();
}

void SetListMessageHook(std::function<void(const std::string&)> hook) {
  std::lock_guard lock(g_hookMutex);
  g_messageHook = std::move(hook);
}

void SetListWriteFaultForTest(std::string fileName) {
  std::lock_guard lock(g_hookMutex);
  g_writeFault = std::move(fileName);
}

void SetListFileHookForTest(std::function<void(const std::string&)> hook) {
  std::lock_guard lock(g_hookMutex);
  g_fileHook = std::move(hook);
}

void ResetListFilesForTest() {
  std::lock_guard save(g_saveMutex);
  g_files = {};
  g_optionsFile = {};
}

}  // namespace tvx
