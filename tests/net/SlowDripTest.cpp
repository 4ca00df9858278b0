#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "net/Internet.h"
#include "support/TestHttpServer.h"

namespace tvx::net {
namespace {

using test::HttpResponse;

// Restores the process-wide limits after each test.
class LowSpeed : public ::testing::Test {
 protected:
  void SetUp() override {
    ClientLimits::lowSpeedWindowMs = 1000;
    ClientLimits::lowSpeedBytesPerSecond = 200;
  }
  void TearDown() override {
    ClientLimits::lowSpeedWindowMs = 60000;
    ClientLimits::lowSpeedBytesPerSecond = 16;
  }
  std::string ReadAll(const std::string& url) {
    Session session;
    auto t = session.OpenUrl(url, true);
    std::string out;
    char buf[255];
    for (std::size_t n; (n = t->Read(buf, sizeof buf)) > 0;) out.append(buf, n);
    return out;
  }
  test::TestHttpServer http_;
};

TEST_F(LowSpeed, ADripBelowTheUsefulSpeedFailsInBoundedTime) {
  HttpResponse drip = HttpResponse::Ok(std::string(10000, 'd'));
  drip.dripBytes = 2;
  drip.dripIntervalMs = 50;  // 40 bytes a second, never silent long enough to stall
  http_.Serve("/drip.gif", drip);
  auto began = std::chrono::steady_clock::now();
  try {
    ReadAll(http_.Url("/drip.gif"));
    FAIL() << "a drip must not count as a download";
  } catch (const InternetError& e) {
    EXPECT_NE(std::string(e.what()).find("too slow"), std::string::npos) << e.what();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(10));
}

TEST_F(LowSpeed, ASteadyTransferAboveTheLimitCompletes) {
  HttpResponse steady = HttpResponse::Ok(std::string(6000, 's'));
  steady.dripBytes = 400;
  steady.dripIntervalMs = 100;  // 4000 bytes a second
  http_.Serve("/steady.gif", steady);
  EXPECT_EQ(ReadAll(http_.Url("/steady.gif")).size(), 6000u);
}

}  // namespace
}  // namespace tvx::net
