#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <sstream>

#include "net/Internet.h"
#include "net/NetTestUtil.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace tvx::net {
namespace {

using std::chrono::seconds;
using test::ChildProcess;
using test::TempDir;
using testing::BinaryPattern;
using testing::ReadAll;

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (!dir.empty() && access((dir + "/" + program).c_str(), X_OK) == 0) return true;
  }
  return false;
}

// Sets or clears an environment variable for one test, then restores it.
class EnvVar {
 public:
  EnvVar(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ~EnvVar() {
    if (saved_) {
      setenv(name_, saved_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

// A TLS file server on 127.0.0.1 with a freshly made self-signed certificate.
class HttpsTransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!OnPath("openssl")) GTEST_SKIP() << "openssl is not installed";
    ChildProcess make(
        {"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
         "-nodes", "-keyout", "key.pem", "-out", "cert.pem", "-days", "2", "-subj", "/CN=127.0.0.1",
         "-addext", "subjectAltName=IP:127.0.0.1"},
        dir_.Path(), /*quiet=*/true);
    ASSERT_EQ(make.Wait(seconds(30)), 0) << "cannot make a certificate";
    dir_.Write("pic.jpg", BinaryPattern(100'000));
    server_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"openssl", "s_server", "-accept", "127.0.0.1:0", "-cert",
                                 "cert.pem", "-key", "key.pem", "-WWW"},
        dir_.Path(), /*quiet=*/true);
    std::optional<std::string> address = server_->WaitForLine("ACCEPT ", seconds(15));
    ASSERT_TRUE(address) << "the TLS server did not start";
    url_ = "https://" + *address + "/pic.jpg";
  }

  TempDir dir_{"tavrinox-tls"};
  std::unique_ptr<ChildProcess> server_;
  std::string url_;
};

TEST_F(HttpsTransferTest, TrustedServerDeliversTheFile) {
  EnvVar trust(Session::kCaFileVariable, (dir_ / "cert.pem").string());
  Session session;
  auto file = session.OpenUrl(url_, true);
  EXPECT_TRUE(ReadAll(*file) == BinaryPattern(100'000));
}

TEST_F(HttpsTransferTest, UntrustedCertificateIsRefused) {
  EnvVar noTrust(Session::kCaFileVariable, std::nullopt);
  Session session;
  try {
    session.OpenUrl(url_, true);
    FAIL() << "a self-signed certificate was accepted";
  } catch (const InternetError& e) {
    EXPECT_NE(std::string(e.what()).find("certificate"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace tvx::net
