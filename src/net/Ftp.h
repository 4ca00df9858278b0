#pragma once
// Anonymous (or named-user) FTP in active mode: one logged-in control
// connection that finds and fetches files.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "net/Transfer.h"
#include "net/Url.h"

namespace tvx::net {

// An FTP connection (active mode), logged in as the URL's user or anonymously.
class FtpConnection {
 public:
  virtual ~FtpConnection() = default;
  // Changes the current directory for the calls below (not checked here; a
  // wrong directory shows when the file is looked for).
  virtual void SetCurrentDirectory(const std::string& dir) = 0;
  // True when the current directory lists a file of that name. Throws
  // InternetError when the server cannot be reached or refuses the login.
  virtual bool FindFile(const std::string& name) = 0;
  // Opens the file for binary reading; with `from` above 0 the server is asked
  // to start there (REST), and ResumeRefused says it will not. A file that
  // ends with more or fewer bytes than the size the server told fails with
  // SizeMismatch.
  virtual std::unique_ptr<Transfer> OpenFile(const std::string& name, std::uint64_t from = 0) = 0;
  // The file's size and modification time (SIZE, MDTM) without fetching it.
  virtual FileFacts Describe(const std::string& name) = 0;
  virtual void Close() = 0;
};

// FTP connections still saying goodbye to their servers on threads of their
// own after Close. The process waits for them at a normal exit, for two
// seconds at most; nothing such a thread uses is destroyed by the exit.
int PendingBackgroundCloses();
// True when none is left within bound.
bool WaitForBackgroundCloses(std::chrono::milliseconds bound);

namespace detail {

struct PolicySettings;

// Connects to server and logs in at once: throws InternetError when the
// server cannot be reached or refuses the login.
std::unique_ptr<FtpConnection> ConnectFtp(const PolicySettings& settings,
                                          const FtpAuthority& server);

}  // namespace detail
}  // namespace tvx::net
