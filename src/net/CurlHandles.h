#pragma once
// libcurl's handles as owned objects, and its one-time set-up.
#include <curl/curl.h>

#include <memory>

namespace tvx::net::detail {

// Initialises libcurl once per process, whichever thread comes first.
void EnsureCurlInitialised();

struct EasyCleanup {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiCleanup {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct ListCleanup {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;
using MultiHandle = std::unique_ptr<CURLM, MultiCleanup>;
using HeaderList = std::unique_ptr<curl_slist, ListCleanup>;

// Appends one line to a header list; InternetError when memory runs out.
void AppendHeader(HeaderList& list, const char* line);

// One easy handle and the multi handle that drives it. The multi handle owns
// the connection cache, so an FTP connection keeps both for its lifetime to
// reuse the logged-in control connection.
struct CurlHandles {
  CurlHandles();
  // Detaches the easy handle from the multi handle when a transfer is still
  // attached; the members then go easy first, the header list last.
  ~CurlHandles();
  CurlHandles(const CurlHandles&) = delete;
  CurlHandles& operator=(const CurlHandles&) = delete;

  HeaderList headers;   // request headers, kept until the easy handle goes
  HeaderList commands;  // FTP commands sent just before a file is fetched
  MultiHandle multi;
  EasyHandle easy;
  bool busy = false;  // a transfer is attached to the multi handle
};

}  // namespace tvx::net::detail
