#include "workers/FileWorkers.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "net/Internet.h"
#include "store/Lists.h"
#include "workers/LocalPath.h"
#include "workers/PictureFile.h"

namespace tvx {
namespace {

constexpr std::size_t kBlock = 255;
constexpr std::size_t kReadBuffer = 2048;
// Window updates during a transfer are coalesced to this many per second;
// the record's own status follows every block.
constexpr auto kProgressInterval = std::chrono::milliseconds(50);

const char* const kNotPicture =
    "The file you are trying to download \nis not a picture file!\nPlease check your URL!";

}  // namespace

// bytes / 1024 as a single-precision number, printed with two decimals, as
// printf's "%.2f" prints it (round half to even), without printf: this runs
// for every block of a transfer.
std::string KilobytesText(std::uint32_t bytes) {
  // The float of the count is a whole number, and dividing it by 1024 is
  // exact, so the decimal value is whole/1024 exactly.
  auto whole = static_cast<std::uint64_t>(static_cast<float>(bytes));
  std::uint64_t kilo = whole / 1024, rest = whole % 1024;
  std::uint64_t hundredths = rest * 100 / 1024, remainder = rest * 100 % 1024;
  if (remainder > 512 || (remainder == 512 && (hundredths & 1))) ++hundredths;
  if (hundredths == 100) {
    ++kilo;
    hundredths = 0;
  }
  std::string text = std::to_string(kilo);
  text.push_back('.');
  text.push_back(static_cast<char>('0' + hundredths / 10));
  text.push_back(static_cast<char>('0' + hundredths % 10));
  return text;
}

namespace {

// A record of RequestedFiles, found by its url. The index of the last find is
// kept so that the per-block look-up does not walk the list each time.
class RecordRef {
 public:
  explicit RecordRef(std::string url) : url_(std::move(url)) {}
  const std::string& Url() const { return url_; }

  // Index of the record now, or -1 when it has left the list. The index
  // found last time is checked first; the list is searched only when the
  // record has moved.
  int Index() {
    bool same = false;
    RequestedFiles.Update(index_,
                          [&](FileRecord& r) { same = EqualsIgnoreCase(TextOf(r.url), url_); });
    if (!same) index_ = RequestedFiles.Find(url_);
    return index_;
  }
  // The record's list-panel row, or nullopt when it has left the list.
  std::optional<int> Row() {
    int i = Index();
    if (i < 0) return std::nullopt;
    return RowOfIndex(RequestedFiles.GetCount(), i);
  }
  void SetStatus(const std::string& status) {
    bool done = false;
    auto write = [&](FileRecord& r) {
      if (!EqualsIgnoreCase(TextOf(r.url), url_)) return;
      SetText(r.status, status);
      done = true;
    };
    if (RequestedFiles.Update(index_, write) && done) return;
    index_ = RequestedFiles.Find(url_);
    RequestedFiles.Update(index_, write);
  }

 private:
  std::string url_;
  int index_ = -1;
};

bool IsCurrentFilesRow(int row) {
  return row == CurrentRow.load() && ListKind.load() == kListRequestedFiles;
}

// The record is not a picture: drop it from the requested list.
void DropNotPicture(WorkerEnv& env, RecordRef& record) {
  env.OnUi([&] { env.reporter.ShowMessage(kNotPicture); });
  env.OnUi([&] {
    int index = record.Index();
    if (index < 0) return;
    int row = RowOfIndex(RequestedFiles.GetCount(), index);
    if (ListKind.load() == kListRequestedFiles) env.reporter.DeleteRow(row);
    if (IsCurrentFilesRow(row)) {
      env.reporter.SetStatusText(StatusField::LastAction, "Download canceled");
      env.reporter.SetStatusText(StatusField::Status, "Invalid picture file");
    }
    RequestedFiles.RemoveAt(index);
  });
}

// The transfer is complete: move the record to the downloaded files.
void MoveToDownloaded(WorkerEnv& env, RecordRef& record) {
  env.OnUi([&] {
    int index = record.Index();
    if (index < 0) return;
    int row = RowOfIndex(RequestedFiles.GetCount(), index);
    int kind = ListKind.load();
    if (kind == kListRequestedFiles) env.reporter.DeleteRow(row);
    FileRecord copy = *RequestedFiles.CopyAt(index);
    SetText(copy.status, "Success");
    DownloadedFiles.Add(copy);
    if (kind == kListDownloadedFiles) {
      env.reporter.InsertTopRow(record.Url());
      env.reporter.SetRowStatus(0, "Success");
    }
    if (row == CurrentRow.load() && kind == kListRequestedFiles) {
      env.reporter.SetStatusText(StatusField::LastAction, "Download ended");
      env.reporter.SetStatusText(StatusField::Status, "Success");
    }
    RequestedFiles.RemoveAt(index);
  });
}

void MarkStopped(WorkerEnv& env, RecordRef& record) {
  env.OnUi([&] {
    auto row = record.Row();
    if (!row) return;
    record.SetStatus("Stopped");
    if (ListKind.load() == kListRequestedFiles) env.reporter.SetRowStatus(*row, "Stopped");
  });
}

// An Internet failure: the text goes into the record and the row; into the
// status view when the row is current (HTTP) or always (FTP).
void ReportFailure(WorkerEnv& env, RecordRef& record, const std::string& message,
                   bool statusAlways) {
  std::string text = net::FailureText(message);
  env.OnUi([&] {
    auto row = record.Row();
    if (!row) return;
    record.SetStatus(text);
    if (ListKind.load() == kListRequestedFiles) env.reporter.SetRowStatus(*row, text);
    if (statusAlways || *row == CurrentRow.load())
      env.reporter.SetStatusText(StatusField::Status, text);
  });
}

enum class CopyResult { Done, Stopped };

// Copies the transfer into the local file in blocks, honouring pauses and
// the stop flag, and reporting progress.
CopyResult CopyBlocks(WorkerEnv& env, RecordRef& record, net::Transfer& in, LocalFileWriter& out,
                      bool storeProgress) {
  char block[kBlock];
  std::uint32_t total = 0;
  auto lastShown = std::chrono::steady_clock::now() - kProgressInterval;
  std::optional<int> row = record.Row();
  for (;;) {
    env.Checkpoint();
    std::size_t n = in.Read(block, kBlock);
    if (n == 0) break;
    env.EnsureBusy();
    if (row && Stops(WorkerKind::File).Get(*row)) return CopyResult::Stopped;
    out.Write(block, n);
    total += static_cast<std::uint32_t>(n);
    std::string progress = "Downloading..." + KilobytesText(total) + "k read";
    // The record takes the progress when a read came up short (all that had
    // arrived is taken, and the next read may wait) and otherwise as often as
    // the window shows it: a list lock for every block kept the window
    // waiting behind fifty workers.
    auto now = std::chrono::steady_clock::now();
    const bool show = now - lastShown >= kProgressInterval;
    if (storeProgress && (show || n < kBlock)) record.SetStatus(progress);
    if (show) {
      lastShown = now;
      env.OnUi([&] {
        row = record.Row();
        if (row && IsCurrentFilesRow(*row))
          env.reporter.SetStatusText(StatusField::Status, progress);
      });
    }
  }
  out.Finish();
  return CopyResult::Done;
}

// A name that would lead out of Pictures (or is no file name at all) is
// refused like a failed transfer: the record keeps the reason.
bool RefuseUnusablePath(WorkerEnv& env, RecordRef& record, const LocalPath& path,
                        bool statusAlways) {
  if (path.Usable()) return false;
  ReportFailure(env, record, path.Shown() + " has illegal chars", statusAlways);
  env.EndBusy();
  return true;
}

}  // namespace

bool IsFtpUrl(std::string_view url) { return url.find("ftp://") != std::string_view::npos; }

void RunHttpFileWorker(WorkerEnv& env, const FileRecord& start) {
  RecordRef record{std::string(TextOf(start.url))};
  const std::string& url = record.Url();
  const LocalPath localPath = LocalPath::ForSingleFile(url);
  if (!IsPictureFile(localPath.Shown())) {
    DropNotPicture(env, record);
    env.EndBusy();
    return;
  }
  if (RefuseUnusablePath(env, record, localPath, /*statusAlways=*/false)) return;
  env.EnsureBusy();
  try {
    net::Session session("Tavrinox");
    auto transfer = session.OpenUrl(url, /*failOnHttpError=*/true);
    transfer->SetReadBufferSize(kReadBuffer);
    transfer->StatusCode();  // an error status fails here, before any file is made
    LocalFileWriter file(localPath);
    env.OnUi([&] {
      if (auto row = record.Row()) Stops(WorkerKind::File).Set(*row, 0);
    });
    if (CopyBlocks(env, record, *transfer, file, true) == CopyResult::Stopped) {
      transfer->Close();
      session.Close();
      MarkStopped(env, record);
      env.EndBusy();
      return;
    }
    transfer->Close();
    session.Close();
  } catch (const net::InternetError& e) {
    ReportFailure(env, record, e.what(), /*statusAlways=*/false);
    env.EndBusy();
    return;
  }
  MoveToDownloaded(env, record);
  env.EndBusy();
}

// The parts of an FTP URL: the host runs from two characters after the first
// "//" to the first '/' after the scheme; the folder lies between that '/'
// and the last one; the file name follows the last '/'.
std::optional<FtpUrlParts> SplitFtpUrl(const std::string& url) {
  auto slashes = url.find("//");
  if (slashes == std::string::npos) return std::nullopt;
  std::string work = url;
  for (std::size_t i = 4; i <= 5 && i < work.size(); ++i)
    if (work[i] == '/') work[i] = ' ';
  std::size_t hostStart = slashes + 2;
  auto hostEnd = work.find('/', hostStart);
  if (hostEnd == std::string::npos || hostEnd < hostStart) return std::nullopt;
  FtpUrlParts parts;
  parts.host = url.substr(hostStart, hostEnd - hostStart);
  auto last = url.rfind('/');
  if (last > hostEnd) parts.directory = url.substr(hostEnd + 1, last - hostEnd - 1);
  parts.fileName = url.substr(last + 1);
  return parts;
}

void RunFtpFileWorker(WorkerEnv& env, const FileRecord& start) {
  RecordRef record{std::string(TextOf(start.url))};
  const std::string& url = record.Url();
  auto parts = SplitFtpUrl(url);
  if (!parts) {
    env.OnUi([&] { env.reporter.ShowMessage("Error parsing url"); });
    env.EndBusy();
    return;
  }
  const LocalPath localPath = LocalPath::ForSingleFile(url);
  if (!IsPictureFile(parts->fileName)) {
    DropNotPicture(env, record);
    env.EndBusy();
    return;
  }
  if (RefuseUnusablePath(env, record, localPath, /*statusAlways=*/true)) return;
  env.EnsureBusy();
  try {
    net::Session session("Tavrinox");
    std::string host = parts->host;
    int port = 0;
    if (auto colon = host.rfind(':'); colon != std::string::npos) {
      port = std::atoi(host.c_str() + colon + 1);
      host.resize(colon);
    }
    auto ftp = session.ConnectFtp(host, port);
    if (!parts->directory.empty()) ftp->SetCurrentDirectory(parts->directory);
    if (!ftp->FindFile(parts->fileName)) {
      env.OnUi([&] { env.reporter.ShowMessage("Error finding file"); });
      ftp->Close();
      session.Close();
      env.EndBusy();
      return;
    }
    env.OnUi([&] {
      auto row = record.Row();
      if (!row) return;
      record.SetStatus("Downloading in progress...");
      if (ListKind.load() == kListRequestedFiles)
        env.reporter.SetRowStatus(*row, "Downloading in progress...");
    });
    auto remote = ftp->OpenFile(parts->fileName);
    LocalFileWriter file(localPath);
    if (CopyBlocks(env, record, *remote, file, false) == CopyResult::Stopped) {
      remote->Close();
      ftp->Close();
      session.Close();
      MarkStopped(env, record);
      env.EndBusy();
      return;
    }
    remote->Close();
    ftp->Close();
    session.Close();
  } catch (const net::InternetError& e) {
    ReportFailure(env, record, e.what(), /*statusAlways=*/true);
    env.EndBusy();
    return;
  }
  MoveToDownloaded(env, record);
  env.EndBusy();
}

std::shared_ptr<WorkerHandle> StartFileWorker(const FileRecord& record, std::size_t stackSize) {
  FileRecord copy = record;  // the worker owns its record from creation on
  bool ftp = IsFtpUrl(TextOf(copy.url));
  return LaunchWorker(WorkerKind::File, std::string(TextOf(copy.url)), stackSize,
                      [copy, ftp](WorkerEnv& env) {
                        if (ftp)
                          RunFtpFileWorker(env, copy);
                        else
                          RunHttpFileWorker(env, copy);
                      });
}

}  // namespace tvx
