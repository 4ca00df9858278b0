#include "workers/FileWorkers.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "files/CreditsFile.h"
#include "files/LocalPath.h"
#include "files/PartialDownload.h"
#include "files/PictureFile.h"
#include "files/TransferCopy.h"
#include "net/Internet.h"
#include "net/RetryAfter.h"
#include "net/Url.h"
#include "workers/EngineState.h"

namespace tvx {
namespace {

// How much the client may read ahead: a performance hint only.
constexpr std::size_t kReadBuffer = 2048;
// Status view updates during a transfer are coalesced to this many per
// second; the record's own status follows every chunk read.
constexpr auto kProgressInterval = std::chrono::milliseconds(50);

// A server that keeps asking to slow down is asked at most this many times.
constexpr int kMaxSlowDowns = 10;

const char* const kNotPicture =
    "The file you are trying to download \nis not a picture file!\nPlease check your URL!";

}  // namespace

// bytes / 1024 as a single-precision number, printed with two decimals, as
// printf's "%.2f" prints it (round half to even), without printf: this runs
// for every chunk of a transfer.
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

// The worker's record in the requested files, found by its id.
class RecordRef {
 public:
  RecordRef(WorkerEnv& env, std::string url)
      : list_(env.engine.lists.requestedFiles), item_(env.Item()), url_(std::move(url)) {}
  const std::string& Url() const { return url_; }
  ItemRef Item() const { return item_; }
  // Whether the record is still in the requested files.
  bool Found() const { return list_.IndexOf(item_.id) >= 0; }
  void SetStatus(const std::string& status) { SetStatusUnlessPaused(status, nullptr); }

  // A progress text is not stored while the worker is paused. Asked under
  // the list's lock: Stop pauses first and then writes "Stopped" under the
  // same lock, so that text is never overwritten. False when held back.
  bool SetStatusUnlessPaused(const std::string& status, const PauseGate* gate) {
    bool paused = false;
    list_.UpdateOf(item_.id, [&](FileRecord& r) {
      paused = gate && gate->IsPaused();
      if (!paused) SetText(r.status, status);
    });
    return !paused;
  }

 private:
  RecordList<FileRecord>& list_;
  ItemRef item_;
  std::string url_;
};

// The record is not a picture: drop it from the requested list.
void DropNotPicture(WorkerEnv& env, RecordRef& record) {
  env.OnUi([&] { env.reporter.ShowMessage(kNotPicture); });
  env.OnUi([&] {
    if (!record.Found()) return;
    env.reporter.ItemStatusText(record.Item(), StatusField::LastAction, "Download canceled");
    env.reporter.ItemStatusText(record.Item(), StatusField::Status, "Invalid picture file");
    env.reporter.ItemRemoved(record.Item());
    env.engine.lists.requestedFiles.Remove(record.Item().id);
  });
}

// The transfer is complete: move the record to the downloaded files, where
// it keeps its id. A picture a search found gets its credit line.
void MoveToDownloaded(WorkerEnv& env, RecordRef& record) {
  const bool credited = WriteCreditOfSaved(env.engine.credits, record.Url());
  env.OnUi([&] {
    Lists& lists = env.engine.lists;
    std::optional<FileRecord> copy = lists.requestedFiles.CopyOf(record.Item().id);
    if (!copy) return;
    env.reporter.ItemStatusText(record.Item(), StatusField::LastAction, "Download ended");
    env.reporter.ItemStatusText(record.Item(), StatusField::Status,
                                credited ? "Success" : kCreditsFileError);
    env.reporter.ItemRemoved(record.Item());
    SetText(copy->status, "Success");
    const ItemRef moved{kListDownloadedFiles, record.Item().id};
    lists.downloadedFiles.Add(*copy, moved.id);
    env.reporter.ItemAdded(moved, record.Url(), "Success");
    lists.requestedFiles.Remove(record.Item().id);
  });
}

void MarkStopped(WorkerEnv& env, RecordRef& record) {
  env.OnUi([&] {
    if (!record.Found()) return;
    record.SetStatus("Stopped");
    env.reporter.ItemStatus(record.Item(), "Stopped");
  });
}

// An Internet failure: the text goes into the record and the row; into the
// status view when the view follows the record (HTTP) or always (FTP).
void ReportFailure(WorkerEnv& env, RecordRef& record, const std::string& message,
                   bool statusAlways) {
  std::string text = net::FailureText(message);
  env.OnUi([&] {
    if (!record.Found()) return;
    record.SetStatus(text);
    env.reporter.ItemStatus(record.Item(), text);
    // Status: the FTP worker's always, whatever is shown; the HTTP worker's
    // when the view follows its record, whatever list is shown.
    if (statusAlways)
      env.reporter.SetStatusText(StatusField::Status, text);
    else
      env.reporter.ItemStatusText(record.Item(), StatusField::Status, text, WhenFollowed::Always);
  });
}

// Copies the transfer into the local file, honouring pauses and the row's
// stop flag. The progress text ("Downloading...1.50k read") goes into the
// record when storeProgress is set, and into Status while the row is current;
// a paused worker writes neither until it is resumed.
// The row's progress bar follows the same reports, against the file's size
// when the server told it (expected 0: no bar).
CopyOutcome CopyWithProgress(WorkerEnv& env, RecordRef& record, net::Transfer& in,
                             LocalFileWriter& out, bool storeProgress, std::uint64_t expected) {
  PauseGate& gate = env.self.Gate();
  using Clock = std::chrono::steady_clock;
  Clock::time_point lastShown = Clock::now() - kProgressInterval;
  CopySteps steps;
  steps.stopRequested = [&] { return env.StopRequested(); };
  steps.progress = [&](std::uint64_t total) {
    env.EnsureBusy();
    // The count is 32 bits wide, as the lists have always shown it.
    const std::string text =
        "Downloading..." + KilobytesText(static_cast<std::uint32_t>(total)) + "k read";
    bool shown = !storeProgress || record.SetStatusUnlessPaused(text, &gate);
    Clock::time_point now = Clock::now();
    if (shown && now - lastShown >= kProgressInterval) {
      env.OnUi([&] {
        if (gate.IsPaused()) {
          shown = false;
          return;
        }
        if (!record.Found()) return;
        if (expected > 0) env.reporter.ItemProgress(record.Item(), total, expected);
        env.reporter.ItemStatusText(record.Item(), StatusField::Status, text);
      });
      if (shown) lastShown = now;
    }
    return shown;
  };
  steps.beforeRead = [&] { gate.Pass(); };
  return CopyTransfer(in, out, steps);
}

// Stops the busy animation however the worker leaves.
class BusyEnd {
 public:
  explicit BusyEnd(const WorkerEnv& env) : env_(env) {}
  ~BusyEnd() {
    try {
      env_.EndBusy();
    } catch (...) {  // the window is gone: nothing left to stop
    }
  }
  BusyEnd(const BusyEnd&) = delete;
  BusyEnd& operator=(const BusyEnd&) = delete;

 private:
  const WorkerEnv& env_;
};

// The name would lead out of Pictures (or is no file name at all): refused
// like a failed transfer, the record keeps the reason.
void RefuseUnusablePath(WorkerEnv& env, RecordRef& record, const LocalPath& path,
                        bool statusAlways) {
  ReportFailure(env, record, path.Shown() + " has illegal chars", statusAlways);
}

// A download that cannot go on from where it stopped says so in the record,
// its row and (when current) Status before it starts again from zero.
void ReportRestart(WorkerEnv& env, RecordRef& record, const std::string& text) {
  env.OnUi([&] {
    if (!record.Found()) return;
    record.SetStatus(text);
    env.reporter.ItemStatus(record.Item(), text);
    env.reporter.ItemStatusText(record.Item(), StatusField::Status, text);
  });
}

// The note of a partial file this download can go on from, if any. A partial
// file without one (or of another URL, or without a validator) means
// starting again: `restart` then holds the text that says so.
std::optional<ResumeNote> UsableNote(const PartialDownload& partial, const std::string& url,
                                     std::uint64_t held, std::string& restart) {
  if (held == 0) return std::nullopt;
  std::optional<ResumeNote> note = partial.ReadNote();
  if (note && note->url == url && !note->validator.empty()) return note;
  restart = kRestartNotResumable;
  return std::nullopt;
}

LocalFileWriter::Mode PartialMode(bool append) {
  return append ? LocalFileWriter::Mode::Append : LocalFileWriter::Mode::Create;
}

// The partial file, opened for the transfer (appended to when it goes on
// from its end, else emptied), takes the final name only once whole; a fresh
// start gets a fresh note. True when a later start could go on from it: the
// note is there and names the file's version.
bool PreparePartial(LocalFileWriter& file, const PartialDownload& partial, const std::string& url,
                    bool append, const std::string& validator) {
  file.RenameWhenFinished(partial.Final());
  if (append) return true;  // from a note with a validator
  // A note that cannot be written only costs the resume.
  if (partial.WriteNote({url, validator})) return !validator.empty();
  partial.RemoveNote();
  return false;
}

// Removes the partial file and its note. The note goes first, while the
// partial file is still held, so that no other download's note can go.
void DropPartial(LocalFileWriter& file, const PartialDownload& partial) {
  partial.RemoveNote();
  file.Discard();
}

// Copies the transfer into the partial file. A copy that does not end whole
// leaves only what a later start can go on from: after a cut line or a stop
// the partial file and its note stay when the note names the file's version
// (`resumable`), and both go when it does not. A body whose size disagrees
// with what the server announced leaves nothing (what arrived cannot be
// trusted, not even as the start of the file), nor does a copy the local
// disk ended.
CopyOutcome CopyIntoPartial(WorkerEnv& env, RecordRef& record, net::Transfer& in,
                            LocalFileWriter& file, const PartialDownload& partial, bool resumable,
                            bool storeProgress, std::uint64_t expected) {
  CopyOutcome outcome;
  try {
    outcome = CopyWithProgress(env, record, in, file, storeProgress, expected);
  } catch (const net::SizeMismatch&) {
    DropPartial(file, partial);
    throw;
  } catch (const LocalFileError& e) {
    // At the free-space floor the writer has removed the partial file itself.
    if (e.what() == DiskFloorText()) {
      partial.RemoveNote();
    } else {
      DropPartial(file, partial);
    }
    throw;
  } catch (const net::InternetError&) {
    if (!resumable) DropPartial(file, partial);
    throw;
  }
  if (outcome == CopyOutcome::Stopped && !resumable) DropPartial(file, partial);
  return outcome;
}

// Fetches the URL into the local file, going on from a partial file that an
// earlier start left when the server can (HTTP Range with If-Range). The
// transfer, the file and the session are closed on the way out, whatever
// happens.
CopyOutcome FetchHttp(WorkerEnv& env, RecordRef& record, const PartialDownload& partial) {
  net::Session session("Tavrinox");
  const std::string& url = record.Url();
  std::string restart;
  const std::uint64_t held = partial.HeldBytes();
  std::optional<ResumeNote> note = UsableNote(partial, url, held, restart);
  std::unique_ptr<net::Transfer> transfer;
  bool append = false;
  if (note) {
    transfer = session.OpenUrl(url, /*failOnHttpError=*/true, {held, note->validator});
    const long status = transfer->StatusCode();
    const net::FileFacts facts = transfer->Facts();
    // The rest is taken only from the same version of the file, from where
    // the partial file ends: a cache that ignores If-Range answers 206 with
    // another version's bytes.
    const bool sameFile = HttpValidatorMatches(facts, note->validator);
    append = status == 206 && sameFile && facts.offset == held;
    if (!append) {
      // The whole file came back, or a range that cannot be used, or a
      // refusal (4xx): the server cannot resume, or the file is no longer
      // the one the partial file holds the start of.
      const bool otherFile = !sameFile && !HttpValidator(facts).empty();
      restart = otherFile ? kRestartFileChanged : kRestartServerCannot;
      if (status != 200) transfer.reset();  // start again with a plain GET
    }
  }
  if (!transfer) transfer = session.OpenUrl(url, /*failOnHttpError=*/true);
  transfer->SetReadBufferSize(kReadBuffer);
  transfer->StatusCode();  // an error status fails here, before any file is made
  const net::FileFacts facts = transfer->Facts();
  LocalFileWriter file(partial.Part(), PartialMode(append));
  const bool resumable = PreparePartial(file, partial, url, append, HttpValidator(facts));
  if (!restart.empty()) ReportRestart(env, record, restart);
  CopyOutcome outcome = CopyIntoPartial(env, record, *transfer, file, partial, resumable,
                                        /*storeProgress=*/true, facts.size.value_or(0));
  if (outcome == CopyOutcome::Done) partial.RemoveNote();
  return outcome;
}

enum class FtpOutcome { Done, Stopped, NotFound };

// Logs in, finds and fetches the file. The remote file, the local file, the
// connection and the session are closed on the way out, whatever happens.
FtpOutcome FetchFtp(WorkerEnv& env, RecordRef& record, const FtpUrlParts& parts,
                    const PartialDownload& partial) {
  net::Session session("Tavrinox");
  auto ftp = session.ConnectFtp(net::ParseFtpAuthority(parts.host));
  if (!parts.directory.empty()) ftp->SetCurrentDirectory(parts.directory);
  if (!ftp->FindFile(parts.fileName)) return FtpOutcome::NotFound;
  // Not over a Stop that came while the file was looked for.
  for (bool written = false; !written;) {
    env.Checkpoint();
    env.OnUi([&] {
      if (env.self.Gate().IsPaused()) return;
      written = true;
      if (!record.Found()) return;
      record.SetStatus("Downloading in progress...");
      env.reporter.ItemStatus(record.Item(), "Downloading in progress...");
    });
  }
  // A partial file goes on from its end (REST) while the file's size and
  // time are still those it was started with.
  const std::string& url = record.Url();
  std::string restart;
  const std::uint64_t held = partial.HeldBytes();
  std::unique_ptr<net::Transfer> remote;
  if (std::optional<ResumeNote> note = UsableNote(partial, url, held, restart)) {
    std::string now = FtpValidator(ftp->Describe(parts.fileName));
    if (now != note->validator) {
      restart = now.empty() ? kRestartServerCannot : kRestartFileChanged;
    } else {
      try {
        remote = ftp->OpenFile(parts.fileName, held);
      } catch (const net::ResumeRefused&) {
        restart = kRestartServerCannot;
      }
    }
  }
  const bool append = remote != nullptr;
  if (!remote) remote = ftp->OpenFile(parts.fileName);
  const net::FileFacts facts = remote->Facts();
  LocalFileWriter file(partial.Part(), PartialMode(append));
  const bool resumable = PreparePartial(file, partial, url, append, FtpValidator(facts));
  if (!restart.empty()) ReportRestart(env, record, restart);
  if (CopyIntoPartial(env, record, *remote, file, partial, resumable, /*storeProgress=*/false,
                      facts.size.value_or(0)) == CopyOutcome::Stopped)
    return FtpOutcome::Stopped;
  partial.RemoveNote();
  return FtpOutcome::Done;
}

}  // namespace

bool IsFtpUrl(std::string_view url) { return url.find("ftp://") != std::string_view::npos; }

// The server asked to slow down: the worker says so and waits as long as it
// asked, in short steps, so that a pause holds it at once (and the time paused
// counts) and the way out ends it. false when it is to end.
bool WaitForServer(WorkerEnv& env, RecordRef& record, const net::SlowDown& answer) {
  const EngineLimits& limits = env.engine.limits;
  const auto wait = net::SlowDownWait(answer.RetryAfter(), std::time(nullptr),
                                      limits.slowDownDefault, limits.slowDownCap);
  const std::optional<net::UrlParts> parts = net::ParseUrl(record.Url());
  const std::string text = net::SlowDownText(wait, parts ? parts->server : record.Url());
  env.OnUi([&] {
    if (!record.Found() || !record.SetStatusUnlessPaused(text, &env.self.Gate())) return;
    env.reporter.ItemStatus(record.Item(), text);
    env.reporter.ItemStatusText(record.Item(), StatusField::Status, text, WhenFollowed::Always);
  });
  const auto until = std::chrono::steady_clock::now() + wait;
  while (std::chrono::steady_clock::now() < until) {
    env.Checkpoint();
    if (env.StopRequested()) return false;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        until - std::chrono::steady_clock::now(), std::chrono::milliseconds(100)));
  }
  return !env.StopRequested();
}

void RunHttpFileWorker(WorkerEnv& env, const FileRecord& start) {
  BusyEnd busyEnd(env);
  RecordRef record(env, std::string(TextOf(start.url)));
  const LocalPath localPath = LocalPath::ForSingleFile(record.Url());
  if (!IsPictureFile(localPath.Shown())) return DropNotPicture(env, record);
  const PartialDownload partial(localPath);
  if (!partial.Usable()) return RefuseUnusablePath(env, record, localPath, false);
  env.EnsureBusy();
  CopyOutcome outcome;
  for (int slowDowns = 1;; ++slowDowns) {
    try {
      outcome = FetchHttp(env, record, partial);
      break;
    } catch (const net::SlowDown& e) {
      // 429 or 503: asked again once the server's wait is over.
      if (slowDowns >= kMaxSlowDowns)
        return ReportFailure(env, record, e.what(), /*statusAlways=*/false);
      if (!WaitForServer(env, record, e)) return MarkStopped(env, record);
    } catch (const net::InternetError& e) {
      return ReportFailure(env, record, e.what(), /*statusAlways=*/false);
    }
  }
  if (outcome == CopyOutcome::Stopped) return MarkStopped(env, record);
  MoveToDownloaded(env, record);
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
  BusyEnd busyEnd(env);
  RecordRef record(env, std::string(TextOf(start.url)));
  auto parts = SplitFtpUrl(record.Url());
  if (!parts) return env.OnUi([&] { env.reporter.ShowMessage("Error parsing url"); });
  const LocalPath localPath = LocalPath::ForSingleFile(record.Url());
  if (!IsPictureFile(parts->fileName)) return DropNotPicture(env, record);
  const PartialDownload partial(localPath);
  if (!partial.Usable()) return RefuseUnusablePath(env, record, localPath, true);
  env.EnsureBusy();
  FtpOutcome outcome;
  try {
    outcome = FetchFtp(env, record, *parts, partial);
  } catch (const net::InternetError& e) {
    return ReportFailure(env, record, e.what(), /*statusAlways=*/true);
  }
  switch (outcome) {
    case FtpOutcome::NotFound:
      return env.OnUi([&] { env.reporter.ShowMessage("Error finding file"); });
    case FtpOutcome::Stopped:
      return MarkStopped(env, record);
    case FtpOutcome::Done:
      return MoveToDownloaded(env, record);
  }
}

std::shared_ptr<WorkerHandle> StartFileWorker(EngineState& engine, ItemId id,
                                              const FileRecord& record, std::size_t stackSize) {
  FileRecord copy = record;  // the worker owns its record from creation on
  bool ftp = IsFtpUrl(TextOf(copy.url));
  return engine.workers.Launch(engine, WorkerKind::File, {kListRequestedFiles, id},
                               std::string(TextOf(copy.url)), stackSize,
                               [copy, ftp](WorkerEnv& env) {
                                 if (ftp)
                                   RunFtpFileWorker(env, copy);
                                 else
                                   RunHttpFileWorker(env, copy);
                               });
}

}  // namespace tvx
