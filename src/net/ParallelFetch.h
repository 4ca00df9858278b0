#pragma once
// Many HTTP and HTTPS GETs at once on one libcurl multi handle, driven by the
// thread that owns it. Connections are kept and reused between transfers,
// HTTP/2 is spoken where a server offers it (several transfers then share one
// connection), and no more than a set number of connections go to one host.
// Nothing moves while the owner does not call Run: an owner that pauses keeps
// its connections and makes no progress. Every transfer follows the program's
// one transfer policy (TransferPolicy.h). Redirects are not followed; the
// client is told where they lead, unless they lead elsewhere than http or
// https, which fails the transfer with a text.
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "net/Internet.h"

namespace tvx::net {

class CookieJar;

struct ResponseHead {
  long status = 0;
  std::string contentType;   // as sent; empty when none
  std::string location;      // a redirect's target as sent (may be relative); empty when none
  std::string etag;          // as sent, weak ones with their "W/"; empty when none
  std::string lastModified;  // as sent; empty when none
  std::string retryAfter;    // as sent (seconds or an HTTP date); empty when none
  // The body's size when the server told it (Content-Length), else -1.
  long long contentLength = -1;
  // From the request's last byte sent to the answer's first byte come: how
  // long the server took, without the wait for a connection, its set-up and
  // TLS (as the transfer's thread saw it: it reads no earlier than it runs).
  std::chrono::microseconds answerTime{0};
  // Spoken over HTTP/2 (or later): the transfer was one stream of a
  // connection shared with others.
  bool multiplexed = false;
};

// What to do with a response's body once its head is known.
enum class BodyUse {
  Take,  // hand it to OnBody
  Drop,  // read and forget it (a short error page), keeping the connection
  Stop,  // end the transfer now
};

// One transfer's owner. Every call comes from the thread that runs the
// fetcher; a call that throws fails the transfer with the exception's text.
class FetchClient {
 public:
  virtual ~FetchClient() = default;
  virtual BodyUse OnHead(const ResponseHead& head) = 0;
  // The next piece of the body; false ends the transfer here (no failure).
  virtual bool OnBody(const char* data, std::size_t size) = 0;
  // The transfer is over: failure holds the client's message when it failed,
  // and is empty when it ended well or was ended by OnHead or OnBody.
  // transient: the failure may pass when the URL is asked again (a time-out,
  // a connection reset or closed before the answer was whole).
  virtual void OnEnd(const std::string& failure, bool transient) = 0;
};

class ParallelFetcher {
 public:
  struct Options {
    std::string agent = "Tavrinox";
    std::vector<std::string> headers;  // "Name: value"
    int connectionsPerHost = 4;
    // The cookies each request carries those of (none when null).
    std::shared_ptr<const CookieJar> cookies = nullptr;
  };

  explicit ParallelFetcher(Options options);
  // Ends every transfer; their clients go without OnEnd.
  ~ParallelFetcher();
  ParallelFetcher(const ParallelFetcher&) = delete;
  ParallelFetcher& operator=(const ParallelFetcher&) = delete;

  // Starts a GET of url (an absolute http or https URL), with the fetcher's
  // headers and `more` ("Name: value") for this request alone. InternetError
  // when it cannot be started.
  void Start(const std::string& url, std::unique_ptr<FetchClient> client,
             const std::vector<std::string>& more = {});
  // Transfers started and not yet ended.
  std::size_t Active() const;
  // Moves the transfers on for at most waitMs (less when one ends),
  // calling their clients. A client's OnEnd may Start new transfers.
  void Run(int waitMs);
  // Ends every transfer; their clients go without OnEnd.
  void StopAll();

  // The most transfers one HTTP/2 connection carries at once.
  static constexpr int kMaxStreams = 32;

  // A response body of this size at most is read to keep its connection
  // when the client drops it.
  static constexpr std::size_t kMaxDroppedBody = 64 * 1024;

  struct Transfer;

 private:
  void Finish(Transfer& transfer, const std::string& failure, bool transient);
  void Collect();
  void CheckIdle(long elapsedMs);

  struct Handles;
  std::unique_ptr<Handles> handles_;
  Options options_;
  std::vector<std::unique_ptr<Transfer>> active_;
  // Time spent in the clients' calls during the current Run: the transfers
  // were not read then, so it does not count as their silence.
  std::chrono::steady_clock::duration clientTime_{};
};

}  // namespace tvx::net
