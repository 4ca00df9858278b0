// Splits arbitrary text as an FTP URL and checks the parts stay within it;
// the server part is then split into user, password, host and port.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/Internet.h"
#include "workers/FileWorkers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string url(reinterpret_cast<const char*>(data), size);
  auto parts = tvx::SplitFtpUrl(url);
  (void)tvx::IsFtpUrl(url);
  if (!parts) return 0;
  if (parts->host.size() + parts->directory.size() + parts->fileName.size() > url.size())
    std::abort();
  if (parts->fileName.find('/') != std::string::npos) std::abort();
  if (url.find(parts->host) == std::string::npos) std::abort();
  try {
    tvx::net::FtpAuthority server = tvx::net::ParseFtpAuthority(parts->host);
    if (server.host.empty() || server.port < 0 || server.port > 65535) std::abort();
  } catch (const tvx::net::InternetError&) {
  }
  return 0;
}
