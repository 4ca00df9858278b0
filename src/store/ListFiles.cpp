#include "store/ListFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>

#include "store/Lists.h"
#include "store/SiteOptions.h"

namespace tvx {
namespace {

std::mutex g_hookMutex;
std::function<void(const std::string&)> g_messageHook;
std::string g_writeFault;

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

 private:
  static bool IsSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
  }
  int Peek() {
    if (!hasPeek_) {
      peek_ = std::getc(f_);
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

template <class T>
void LoadList(RecordList<T>& list, const char* fileName, const char* status, Reader<T> read) {
  std::FILE* f = std::fopen(fileName, "rb");
  if (!f) return;
  // A file holding only white space yields no record; each record reader
  // skips the white space behind its record, so the end is met right after
  // the last one.
  bool onlySpace = true;
  for (int c; onlySpace && (c = std::getc(f)) != EOF;)
    onlySpace = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
  std::rewind(f);
  Scanner in(f);
  while (!onlySpace && !in.AtEnd()) {
    long before = in.Position();
    list.Add(read(in, status));
    if (in.Position() == before) break;  // cannot happen; guards against a loop
  }
  std::fclose(f);
  list.SetModified(false);
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

// Writes data to a temporary file beside fileName, flushes it to the disk and
// renames it over fileName, so the file is always either old or new, whole.
bool ReplaceFile(const char* fileName, const std::string& data) {
  std::string temp = std::string(fileName) + ".tmp";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok;
  {
    std::lock_guard lock(g_hookMutex);
    ok = g_writeFault != fileName;
  }
  ok = ok && WriteAll(fd, data) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && std::rename(temp.c_str(), fileName) == 0;
  if (!ok) std::remove(temp.c_str());
  return ok;
}

template <class T>
void SaveList(const RecordList<T>& list, const char* fileName, const char* errorText) {
  if (!list.IsModified()) return;
  // Format under the list's lock: one consistent picture, without copying
  // every record first.
  std::string data;
  int count = list.Locked([&] {
    int n = list.GetCount();
    for (int i = 0; i < n; ++i) Format(data, *list.GetAt(i));
    return n;
  });
  if (count == 0) {
    std::remove(fileName);
    return;
  }
  if (!ReplaceFile(fileName, data)) ShowListMessage(errorText);
}

constexpr const char* kSavedFilesError = "Error saving the 'Requested Files' list!";
constexpr const char* kSavedSitesError = "Error saving the 'Requested Web Sites' list!";
constexpr const char* kSavedSearchError = "Error saving the 'Requested Search Projects' list!";

}  // namespace

void LoadAllLists() {
  LoadList(RequestedFiles, "reqpics.data", "Ready for download", ReadFileRecord);
  LoadList(RequestedSites, "reqpicwebs.data", "Ready for download", ReadSiteProject);
  LoadList(DownloadedFiles, "dnldpics.data", "Success", ReadFileRecord);
  LoadList(DownloadedSites, "dnldpicwebs.data", "Success", ReadSiteProject);
  LoadList(SearchProjects, "reqpicsearch.data", "Ready for download", ReadSearchProject);
  LoadList(SearchResults, "picsearchres.data", "New Project", ReadFileRecord);
  if (std::string reason = LoadSiteOptions(); !reason.empty())
    ShowListMessage(std::string("Error reading '") + kSiteOptionsFile + "' (" + reason +
                    "): it is left as it is and not saved in this run.");
}

void SaveAllLists() {
  SaveList(RequestedFiles, "reqpics.data", kSavedFilesError);
  SaveList(RequestedSites, "reqpicwebs.data", kSavedSitesError);
  SaveList(SearchProjects, "reqpicsearch.data", kSavedSearchError);
  SaveList(DownloadedFiles, "dnldpics.data", kSavedFilesError);
  SaveList(DownloadedSites, "dnldpicwebs.data", kSavedSitesError);
  SaveList(SearchResults, "picsearchres.data", kSavedFilesError);
  if (!SaveSiteOptions()) ShowListMessage(std::string("Error saving '") + kSiteOptionsFile + "'!");
}

void SetListMessageHook(std::function<void(const std::string&)> hook) {
  std::lock_guard lock(g_hookMutex);
  g_messageHook = std::move(hook);
}

void SetListWriteFaultForTest(std::string fileName) {
  std::lock_guard lock(g_hookMutex);
  g_writeFault = std::move(fileName);
}

}  // namespace tvx
