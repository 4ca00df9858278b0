// The single-file client and the parallel fetcher share one transfer policy:
// the same answer from a server ends the same way in both, with the same text.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "net/Internet.h"
#include "net/NetTestUtil.h"
#include "net/ParallelFetch.h"
#include "support/TestHttpServer.h"
#include "support/TlsFront.h"

namespace tvx::net {
namespace {

using std::chrono::steady_clock;
using test::HttpResponse;
using test::ScopedEnv;
using test::TestHttpServer;

struct Outcome {
  std::string body;
  std::string failure;  // empty: the body came whole
};

// A GET through the single-file client, read to its end.
Outcome ViaSession(const std::string& url) {
  Outcome out;
  try {
    Session session;
    auto transfer = session.OpenUrl(url, /*failOnHttpError=*/true);
    out.body = testing::ReadAll(*transfer);
  } catch (const InternetError& e) {
    out.failure = e.what();
  }
  return out;
}

// The same GET through the parallel fetcher, driven until it ends (within a
// bound far beyond any limit a case sets).
Outcome ViaFetcher(const std::string& url) {
  class Client final : public FetchClient {
   public:
    Client(Outcome& out, bool& ended) : out_(out), ended_(ended) {}
    BodyUse OnHead(const ResponseHead& head) override {
      if (head.status != 200) out_.failure = "status " + std::to_string(head.status);
      return BodyUse::Take;
    }
    bool OnBody(const char* data, std::size_t size) override {
      out_.body.append(data, size);
      return true;
    }
    void OnEnd(const std::string& failure, bool) override {
      if (!failure.empty()) out_.failure = failure;
      ended_ = true;
    }

   private:
    Outcome& out_;
    bool& ended_;
  };
  Outcome out;
  bool ended = false;
  ParallelFetcher fetcher(ParallelFetcher::Options{});
  fetcher.Start(url, std::make_unique<Client>(out, ended));
  const auto bound = steady_clock::now() + std::chrono::seconds(60);
  while (!ended && steady_clock::now() < bound) fetcher.Run(50);
  if (!ended) out.failure = "(the fetcher never ended the transfer)";
  return out;
}

// Sets the speed limit for one case and puts the defaults back.
class SpeedLimit {
 public:
  SpeedLimit(long windowMs, long bytesPerSecond) {
    ClientLimits::lowSpeedWindowMs = windowMs;
    ClientLimits::lowSpeedBytesPerSecond = bytesPerSecond;
  }
  ~SpeedLimit() {
    ClientLimits::lowSpeedWindowMs = 60000;
    ClientLimits::lowSpeedBytesPerSecond = 16;
  }
};

TEST(TransferPolicy, SingleFileClientAndParallelFetcherEndAlike) {
  TestHttpServer web;
  test::TlsFront tls(web.Port());
  TestHttpServer proxy;  // a forward proxy: it answers absolute-URL requests itself

  web.Serve("/pic.jpg", HttpResponse::Ok("picture bytes"));
  web.Serve("/to-file.jpg", HttpResponse::Redirect("file:///etc/hostname"));
  web.Serve("/to-ftp.jpg", HttpResponse::Redirect("ftp://127.0.0.1/pic.jpg"));
  HttpResponse stalled = HttpResponse::Ok(std::string(1000, 's'));
  stalled.stallAfterBytes = 100;
  web.Serve("/stalled.jpg", stalled);
  HttpResponse drip = HttpResponse::Ok(std::string(10000, 'd'));
  drip.dripBytes = 2;
  drip.dripIntervalMs = 50;  // 40 bytes a second, never silent long enough to stall
  web.Serve("/drip.jpg", drip);
  const std::string farAway = "http://pictures.example/proxied.jpg";
  proxy.Serve(farAway, HttpResponse::Ok("through the proxy"));

  const std::string notWeb = "The server redirected to an address that is not http or https: ";
  struct Arranged {
    std::optional<ScopedEnv> ca, httpProxy, noProxy, noProxyUpper;
    std::optional<testing::StallTimeout> stall;
    std::optional<SpeedLimit> speed;
  };
  struct Case {
    const char* name;
    std::string url;
    std::string failure;  // empty: the body comes whole
    std::string body;
    std::function<void(Arranged&)> arrange;  // what holds while the case runs
  };
  const Case cases[] = {
      {"plain", web.Url("/pic.jpg"), "", "picture bytes", {}},
      {"redirect to a local file",
       web.Url("/to-file.jpg"),
       notWeb + "file:///etc/hostname",
       "",
       {}},
      {"redirect to ftp", web.Url("/to-ftp.jpg"), notWeb + "ftp://127.0.0.1/pic.jpg", "", {}},
      {"stall", web.Url("/stalled.jpg"),
       "Operation timed out: no data received for 300 milliseconds", "",
       [](Arranged& a) { a.stall.emplace(300); }},
      {"drip", web.Url("/drip.jpg"),
       "Operation too slow: less than 200 bytes per second received over 1 seconds", "",
       [](Arranged& a) { a.speed.emplace(1000, 200); }},
      {"self-signed certificate", tls.Url("/pic.jpg"),
       "SSL certificate problem: self-signed certificate", "",
       [](Arranged& a) { a.ca.emplace(Session::kCaFileVariable, std::nullopt); }},
      {"trusted authority", tls.Url("/pic.jpg"), "", "picture bytes",
       [&](Arranged& a) { a.ca.emplace(Session::kCaFileVariable, tls.CaFile().string()); }},
      {"proxy from the environment", farAway, "", "through the proxy",
       [&](Arranged& a) {
         a.httpProxy.emplace("http_proxy", "http://127.0.0.1:" + std::to_string(proxy.Port()));
         a.noProxy.emplace("no_proxy", std::nullopt);
         a.noProxyUpper.emplace("NO_PROXY", std::nullopt);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Arranged arranged;
    if (c.arrange) c.arrange(arranged);
    const Outcome single = ViaSession(c.url);
    const Outcome parallel = ViaFetcher(c.url);
    EXPECT_EQ(single.failure, c.failure) << "single-file client";
    EXPECT_EQ(parallel.failure, c.failure) << "parallel fetcher";
    if (c.failure.empty()) {
      EXPECT_EQ(single.body, c.body);
      EXPECT_EQ(parallel.body, c.body);
    }
  }

  // The proxy saw both requests, each naming the far host, from the agent.
  const auto seen = proxy.Requests();
  ASSERT_EQ(seen.size(), 2u);
  for (const auto& request : seen) {
    EXPECT_EQ(request.target, farAway);
    EXPECT_EQ(request.Header("User-Agent"), "Tavrinox");
  }
}

}  // namespace
}  // namespace tvx::net
