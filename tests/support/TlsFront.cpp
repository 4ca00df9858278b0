#include "support/TlsFront.h"

#include <stdlib.h>

#include <chrono>
#include <stdexcept>

namespace tvx::test {

using std::chrono::seconds;

TlsFront::TlsFront(int backendPort) {
  ChildProcess make(
      {"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
       "-nodes", "-keyout", "key.pem", "-out", "cert.pem", "-days", "2", "-subj", "/CN=127.0.0.1",
       "-addext", "subjectAltName=IP:127.0.0.1"},
      dir_.Path(), /*quiet=*/true);
  if (make.Wait(seconds(30)) != 0) throw std::runtime_error("cannot make a certificate");
  proxy_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{
          "/usr/bin/python3", std::string(TAVRINOX_TEST_SUPPORT_DIR) + "/tls_front.py",
          CaFile().string(), (dir_ / "key.pem").string(), std::to_string(backendPort)},
      dir_.Path());
  std::optional<std::string> address = proxy_->WaitForLine("ACCEPT 127.0.0.1:", seconds(15));
  if (!address) throw std::runtime_error("the TLS front did not start");
  port_ = std::stoi(*address);
}

TlsFront::~TlsFront() { proxy_.reset(); }

std::string TlsFront::Url(const std::string& path) const {
  return "https://127.0.0.1:" + std::to_string(port_) + path;
}

ScopedEnv::ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
  if (const char* old = std::getenv(name)) saved_ = old;
  if (value)
    setenv(name, value->c_str(), 1);
  else
    unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
  if (saved_)
    setenv(name_, saved_->c_str(), 1);
  else
    unsetenv(name_);
}

}  // namespace tvx::test
