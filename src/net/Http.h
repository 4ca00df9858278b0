#pragma once
// The HTTP requests of a session (inside the client; callers use Session).
#include <memory>
#include <string>
#include <vector>

#include "net/Transfer.h"

namespace tvx::net::detail {

struct PolicySettings;

// A plain GET of url (http, https or ftp), redirects followed; see
// Session::OpenUrl.
std::unique_ptr<Transfer> OpenUrl(const PolicySettings& settings, const std::string& url,
                                  bool failOnHttpError, const ResumeRequest& resume);

// One GET of path on server:port with extra header lines, redirects not
// followed; see Session::OpenRequest.
std::unique_ptr<Transfer> OpenRequest(const PolicySettings& settings, const std::string& server,
                                      int port, const std::string& path,
                                      const std::vector<std::string>& headers,
                                      const std::string& scheme);

}  // namespace tvx::net::detail
