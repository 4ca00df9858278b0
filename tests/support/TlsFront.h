#pragma once
// HTTPS for tests: a TLS proxy on 127.0.0.1 (the Python script next to this
// file) in front of a plain test server, with a certificate for 127.0.0.1
// made afresh for it. Trusting CaFile() (through TAVRINOX_CA_FILE) lets the
// client reach the backend's scripted answers over https.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace tvx::test {

class TlsFront {
 public:
  // Throws std::runtime_error when openssl or the proxy cannot start.
  explicit TlsFront(int backendPort);
  ~TlsFront();
  TlsFront(const TlsFront&) = delete;
  TlsFront& operator=(const TlsFront&) = delete;

  int Port() const { return port_; }
  // "https://127.0.0.1:<port>" + path.
  std::string Url(const std::string& path) const;
  // The certificate to trust.
  std::filesystem::path CaFile() const { return dir_ / "cert.pem"; }

 private:
  TempDir dir_{"tvx-tls"};
  std::unique_ptr<ChildProcess> proxy_;
  int port_ = 0;
};

// Sets an environment variable (or clears it, for nullopt) for the life of
// the object, then puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

}  // namespace tvx::test
