#include "files/PartialDownload.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tvx {
namespace {

constexpr const char* kNoteHeading = "Tavrinox resume 1";
constexpr std::size_t kMaxNote = 8192;

bool HasLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

std::string HttpValidator(const net::FileFacts& facts) {
  if (!facts.etag.empty() && facts.etag.rfind("W/", 0) != 0) return facts.etag;
  return facts.lastModified;
}

bool HttpValidatorMatches(const net::FileFacts& facts, const std::string& validator) {
  return !validator.empty() && (facts.etag == validator || facts.lastModified == validator);
}

std::string FtpValidator(const net::FileFacts& facts) {
  if (!facts.size || facts.modifiedTime < 0) return {};
  return std::to_string(*facts.size) + " " + std::to_string(facts.modifiedTime);
}

PartialDownload::PartialDownload(const LocalPath& finalPath)
    : final_(finalPath),
      part_(finalPath.WithSuffix(kPartSuffix)),
      note_(finalPath.WithSuffix(kNoteSuffix)) {}

std::uint64_t PartialDownload::HeldBytes() const {
  UniqueFd file = part_.OpenForReading();
  struct stat info {};
  if (!file || ::fstat(file.Get(), &info) != 0) return 0;
  return static_cast<std::uint64_t>(info.st_size);
}

std::optional<ResumeNote> PartialDownload::ReadNote() const {
  UniqueFd file = note_.OpenForReading();
  if (!file) return std::nullopt;
  std::string text;
  char block[1024];
  for (;;) {
    ssize_t n = ::read(file.Get(), block, sizeof block);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    text.append(block, static_cast<std::size_t>(n));
    if (text.size() > kMaxNote) return std::nullopt;
  }
  // Three lines, each ended: a note cut short by a crash is no note.
  std::string lines[3];
  std::size_t pos = 0;
  for (std::string& line : lines) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) return std::nullopt;
    line = text.substr(pos, end - pos);
    pos = end + 1;
  }
  if (pos != text.size() || lines[0] != kNoteHeading || lines[1].empty()) return std::nullopt;
  return ResumeNote{lines[1], lines[2]};
}

bool PartialDownload::WriteNote(const ResumeNote& note) const {
  if (HasLineBreak(note.url) || HasLineBreak(note.validator)) return false;
  UniqueFd file = note_.CreateFile();
  if (!file) return false;
  std::string text = std::string(kNoteHeading) + "\n" + note.url + "\n" + note.validator + "\n";
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(file.Get(), text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return file.Reset() == 0;
}

void PartialDownload::RemoveNote() const { note_.Remove(); }

}  // namespace tvx
