#pragma once
// Small result pages in the style the two engines send, and a loopback
// server that plays both engines.
#include <stdlib.h>

#include <cctype>
#include <string>
#include <vector>

#include "search/EngineQuery.h"
#include "support/TestHttpServer.h"

namespace tvx::test {

inline constexpr const char* kAltaVistaPath = "/cgi-bin/query";
inline constexpr const char* kYahooPath = "/bin/search";

// n distinct result links, as a page would write them (mixed case).
inline std::vector<std::string> ResultLinks(int n, const std::string& site = "Tulips") {
  std::vector<std::string> links;
  for (int i = 1; i <= n; ++i)
    links.push_back("http://www." + site + std::to_string(i) + ".example/Gallery/Page" +
                    std::to_string(i) + ".html");
  return links;
}

// What a query keeps of those links: ExtractHref gives them in lower case.
inline std::vector<std::string> Kept(const std::vector<std::string>& links) {
  std::vector<std::string> out;
  for (const auto& l : links) {
    std::string lower = l;
    for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    out.push_back(lower);
  }
  return out;
}

// Every line of the decoration either has no href, a relative one, or one
// naming the engine, so only the result lines give links.
inline std::string AltaVistaPage(const std::vector<std::string>& links) {
  std::string page =
      "<html><head><title>AltaVista: Simple Query</title></head>\n"
      "<body bgcolor=#ffffff link=#0000cc>\n"
      "<a href=\"http://www.altavista.com/\"><img src=\"/av/gifs/av_logo.gif\" border=0></a>\n"
      "<form name=mfrm method=GET action=\"/cgi-bin/query\">\n"
      "<input type=hidden name=pg value=q><input type=hidden name=kl value=XX>\n"
      "<input type=text name=q size=35 maxlength=800>\n"
      "<input type=image src=\"/av/gifs/search.gif\" name=search border=0>\n"
      "</form>\n"
      "<font size=-1><b>About " +
      std::to_string(links.size() * 41) + " documents match your query.</b></font>\n<dl>\n";
  int i = 0;
  for (const auto& link : links) {
    ++i;
    page += "<dt><b>" + std::to_string(i) + ". </b><a href=\"" + link +
            "\"><b>Pictures and images, page " + std::to_string(i) + "</b></a><dd>\n";
    page += "Photographs of the garden in spring. Full size pictures of every bed.<br>\n";
    page += "<font size=-1>URL: " + link.substr(7) + "<br>\n";
    page += "Last modified on: 2-Mar-1999 - 4K bytes - in English</font>\n";
    page +=
        "<font size=-1>[ <a href=\"http://babelfish.altavista.com/cgi-bin/translate?url=" + link +
        "\">Translate</a> ]</font>\n";
  }
  page +=
      "</dl>\n"
      "<center>[<a href=\"/cgi-bin/query?pg=q&kl=XX&stq=10\">Next &gt;&gt;</a>]</center>\n"
      "<hr><a href=\"http://doc.AltaVista.com/help/search/simple_help.shtml\">Help</a> |\n"
      "<a href=\"mailto:feedback@altavista.example\">Feedback</a>\n"
      "</body></html>\n";
  return page;
}

inline std::string YahooPage(const std::vector<std::string>& links) {
  std::string page =
      "<html><head><title>Yahoo! Search Results</title></head>\n"
      "<body>\n"
      "<center><a href=\"http://www.yahoo.com/\"><img src=\"/images/yahoo.gif\" alt=\"Yahoo!\">"
      "</a></center>\n"
      "<form action=\"/bin/search\"><input size=30 name=p>"
      "<input type=submit value=Search></form>\n"
      "<b>Web Pages</b> (" +
      std::to_string(links.size()) + " matches)\n<ul>\n";
  for (const auto& link : links) {
    page += "<li><a href=\"" + link + "\">Garden pictures</a> - spring photographs.\n";
    page +=
        "<br><font size=-1><i>Recreation &gt; <a href=\"/Recreation/Home_and_Garden/\">"
        "Home and Garden</a></i></font>\n";
  }
  page +=
      "</ul>\n"
      "<a href=\"http://search.Yahoo.com/bin/search?p=more&b=21\">Next 20 Matches</a>\n"
      "<hr><font size=-1>Copyright &copy; 1999 Yahoo! Inc.</font>\n"
      "</body></html>\n";
  return page;
}

// Points both engines at the server (host:port) for the life of the object.
class EnginesAt {
 public:
  explicit EnginesAt(const TestHttpServer& server)
      : EnginesAt(server.Host() + ":" + std::to_string(server.Port()),
                  server.Host() + ":" + std::to_string(server.Port())) {}
  EnginesAt(const std::string& altaVista, const std::string& yahoo) {
    setenv(kAltaVistaHostVariable, altaVista.c_str(), 1);
    setenv(kYahooHostVariable, yahoo.c_str(), 1);
  }
  ~EnginesAt() {
    unsetenv(kAltaVistaHostVariable);
    unsetenv(kYahooHostVariable);
  }
  EnginesAt(const EnginesAt&) = delete;
  EnginesAt& operator=(const EnginesAt&) = delete;
};

// A loopback port with nothing listening on it.
inline std::string DeadHost() {
  TestHttpServer server;
  std::string host = server.Host() + ":" + std::to_string(server.Port());
  server.Stop();
  return host;
}

}  // namespace tvx::test
