#pragma once
// A single-file download is written under a temporary name beside its final
// place ("a.jpg" as "a.jpg.part") and takes its own name only when whole, so
// a cut download never passes for a picture. Beside the partial file a small
// note ("a.jpg.part.resume") keeps what a later start needs to ask the server
// for the rest: the URL and the validator the server gave for the file.
#include <cstdint>
#include <optional>
#include <string>

#include "files/LocalPath.h"
#include "net/Internet.h"

namespace tvx {

inline constexpr const char* kPartSuffix = ".part";
inline constexpr const char* kNoteSuffix = ".part.resume";

// Status texts of a download that cannot go on from where it stopped.
inline constexpr const char* kRestartNotResumable =
    "The partial file cannot be resumed: downloading it again from the start";
inline constexpr const char* kRestartServerCannot =
    "The server cannot resume the file: downloading it again from the start";
inline constexpr const char* kRestartFileChanged =
    "The file changed on the server: downloading it again from the start";

struct ResumeNote {
  std::string url;
  // What names this version of the file: HTTP a strong ETag or the
  // Last-Modified date; FTP "<size> <MDTM seconds>". Empty: none was given.
  std::string validator;
};

// The validator of an HTTP response: its ETag unless weak (If-Range takes
// only strong ones), else its Last-Modified date; empty when it has neither.
std::string HttpValidator(const net::FileFacts& facts);
// Whether an HTTP response names the version of the file `validator` names
// (by its ETag or its Last-Modified date).
bool HttpValidatorMatches(const net::FileFacts& facts, const std::string& validator);
// The validator of an FTP file: its size and modification time; empty when
// the server told either not.
std::string FtpValidator(const net::FileFacts& facts);

class PartialDownload {
 public:
  explicit PartialDownload(const LocalPath& finalPath);

  const LocalPath& Final() const { return final_; }
  const LocalPath& Part() const { return part_; }
  bool Usable() const { return final_.Usable() && part_.Usable() && note_.Usable(); }

  // Bytes already held under the temporary name; 0 when there is none.
  std::uint64_t HeldBytes() const;
  // The note beside the partial file, when it is there and whole.
  std::optional<ResumeNote> ReadNote() const;
  // Replaces the note; false when it cannot be written.
  bool WriteNote(const ResumeNote& note) const;
  void RemoveNote() const;

 private:
  LocalPath final_;
  LocalPath part_;
  LocalPath note_;
};

}  // namespace tvx
