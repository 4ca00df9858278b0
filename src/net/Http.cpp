#include "net/Http.h"

#include <curl/curl.h>

#include "net/CurlHandles.h"
#include "net/CurlTransfer.h"
#include "net/TransferPolicy.h"
#include "net/Url.h"
#include "store/Text.h"

namespace tvx::net::detail {
namespace {

// Keeps the first header of each name: a header is only added where the
// request does not carry it yet. Entries may hold several CRLF-separated lines.
HeaderList BuildHeaderList(const std::vector<std::string>& headers) {
  std::vector<std::string> lines;
  std::vector<std::string> names;
  for (const std::string& entry : headers) {
    std::size_t start = 0;
    while (start <= entry.size()) {
      std::size_t end = entry.find_first_of("\r\n", start);
      if (end == std::string::npos) end = entry.size();
      std::string line = entry.substr(start, end - start);
      start = end + 1;
      std::size_t colon = line.find(':');
      if (colon == 0 || colon == std::string::npos) continue;
      std::string name = line.substr(0, colon);
      while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
      bool known = false;
      for (const std::string& n : names) known = known || EqualsIgnoreCase(n, name);
      if (known || name.empty()) continue;
      names.push_back(name);
      lines.push_back(line);
    }
  }
  HeaderList list;
  for (const std::string& line : lines) AppendHeader(list, line.c_str());
  return list;
}

}  // namespace

std::unique_ptr<Transfer> OpenUrl(const PolicySettings& settings, const std::string& url,
                                  bool failOnHttpError, const ResumeRequest& resume) {
  const bool ranged = resume.from > 0;
  auto handles = std::make_shared<CurlHandles>();
  CURL* easy = handles->easy.get();
  ApplyTransferPolicy(easy, settings, Schemes::WebAndFtp);
  FollowRedirects(easy);
  std::string target = EscapeUnsafeUrlBytes(url);
  curl_easy_setopt(easy, CURLOPT_URL, target.c_str());
  ApplyCookies(easy, settings.cookies.get(), target);
  curl_easy_setopt(easy, CURLOPT_FAILONERROR, failOnHttpError && !ranged ? 1L : 0L);
  if (ranged) {
    // CURLOPT_RANGE rather than CURLOPT_RESUME_FROM: libcurl would refuse a
    // whole file sent back, which is how a changed file is answered.
    std::string range = std::to_string(resume.from) + "-";
    curl_easy_setopt(easy, CURLOPT_RANGE, range.c_str());  // copied by libcurl
    if (!resume.validator.empty()) {
      handles->headers = BuildHeaderList({"If-Range: " + resume.validator});
      curl_easy_setopt(easy, CURLOPT_HTTPHEADER, handles->headers.get());
    }
  }
  CurlTransfer::Options options;
  std::optional<UrlParts> parts = ParseUrl(url);
  options.http = !parts || parts->scheme != "ftp";
  options.followsRedirects = true;
  options.failOnHttpError = failOnHttpError;
  options.mustMatchToldSize = true;
  options.rangeRequest = ranged;
  auto transfer = std::make_unique<CurlTransfer>(std::move(handles), options);
  transfer->Start();
  return transfer;
}

std::unique_ptr<Transfer> OpenRequest(const PolicySettings& settings, const std::string& server,
                                      int port, const std::string& path,
                                      const std::vector<std::string>& headers,
                                      const std::string& scheme) {
  auto handles = std::make_shared<CurlHandles>();
  CURL* easy = handles->easy.get();
  ApplyTransferPolicy(easy, settings, Schemes::Web);
  std::string object = path.empty() || path.front() != '/' ? "/" + path : path;
  const bool tls = scheme == "https";
  std::string url = (tls ? "https://" : "http://") + HostForUrl(server) + ":" +
                    std::to_string(port > 0 ? port : (tls ? 443 : 80)) +
                    EscapeUnsafeUrlBytes(object);
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  ApplyCookies(easy, settings.cookies.get(), url);
  handles->headers = BuildHeaderList(headers);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, handles->headers.get());
  auto transfer = std::make_unique<CurlTransfer>(std::move(handles), CurlTransfer::Options{});
  transfer->Start();
  return transfer;
}

}  // namespace tvx::net::detail
