#pragma once
// Answers in the shapes the engines of today send (Openverse's and Wikimedia
// Commons' JSON, DuckDuckGo's HTML results), and loopback servers that play
// them, page by page, as the public ones do.
#include <cctype>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "search/TodayEngines.h"
#include "store/PictureCredits.h"
#include "support/TestHttpServer.h"
#include "support/TlsFront.h"

namespace tvx::test {

// A picture as the fakes serve it, and the credit the program must keep.
struct FakePicture {
  std::string url;
  PictureCredit credit;
};

// Where the fakes' pictures are.
inline constexpr const char* kFakePictureBase = "http://pics.example";

// Picture n of an engine ("ov", "wc"), below base. Picture 3 has a title that
// is not ASCII.
inline FakePicture FakePictureOf(const std::string& engine, int n,
                                 const std::string& base = kFakePictureBase) {
  const std::string id = engine + std::to_string(n);
  FakePicture p;
  p.url = base + "/" + engine + "/Lighthouse_" + std::to_string(n) + ".jpg";
  p.credit.title = n == 3 ? "Phare de Cr\xC3\xA9"
                            "ac'h \xC3\xA0 l'aube"
                          : "Lighthouse " + id;
  p.credit.creator = n == 3 ? "Ann \xC3\x89vrard" : "Keeper " + id;
  p.credit.licence = "CC BY-SA 4.0";
  p.credit.landingPage = "https://pages.example/" + engine + "/" + std::to_string(n);
  return p;
}

// Openverse's /v1/images/ answer: pictures first..last (1-based) of an
// engine that has pageCount pages of 20.
inline std::string OpenverseAnswer(int first, int last, int pageCount,
                                   const std::string& base = kFakePictureBase) {
  nlohmann::json results = nlohmann::json::array();
  for (int n = first; n <= last; ++n) {
    const FakePicture p = FakePictureOf("ov", n, base);
    results.push_back({{"id", "0000-" + std::to_string(n)},
                       {"title", p.credit.title},
                       {"foreign_landing_url", p.credit.landingPage},
                       {"url", p.url},
                       {"creator", p.credit.creator},
                       {"creator_url", nullptr},
                       {"license", "by-sa"},
                       {"license_version", "4.0"},
                       {"provider", "flickr"},
                       {"filetype", "jpg"},
                       {"width", 1024},
                       {"height", 768},
                       {"tags", nlohmann::json::array({{{"name", "lighthouse"}}})}});
  }
  return nlohmann::json{{"result_count", pageCount * 20},
                        {"page_count", pageCount},
                        {"page_size", 20},
                        {"page", (first + 19) / 20},
                        {"results", results}}
      .dump();
}

// Commons' answer holding pictures first..last in search order (listed by
// page id, so in another order), a PDF among them, and a continuation to
// offset `more` (0: none).
inline std::string CommonsAnswer(int first, int last, int more) {
  nlohmann::json pages = nlohmann::json::array();
  for (int n = last; n >= first; --n) {
    const FakePicture p = FakePictureOf("wc", n);
    std::string name = p.url.substr(p.url.rfind('/') + 1);
    pages.push_back(
        {{"pageid", 1000 + n},
         {"ns", 6},
         {"title", "File:" + p.credit.title},
         {"index", n},
         {"imagerepository", "local"},
         {"imageinfo",
          {{{"size", 204800},
            {"width", 1600},
            {"height", 1200},
            {"url", p.url},
            {"descriptionurl", p.credit.landingPage},
            {"descriptionshorturl", "https://pages.example/short"},
            {"mime", "image/jpeg"},
            {"extmetadata",
             {{"LicenseShortName", {{"value", "CC BY-SA 4.0"}, {"source", "commons-desc-page"}}},
              {"Artist",
               {{"value", "<a href=\"//pages.example/wiki/User:K\" title=\"User:K\">" +
                              p.credit.creator + "</a>"},
                {"source", "commons-desc-page"}}}}}}}}});
  }
  pages.push_back({{"pageid", 9},
                   {"ns", 6},
                   {"title", "File:Lighthouse plans.pdf"},
                   {"index", first},
                   {"imageinfo",
                    {{{"url", "http://pics.example/wc/Lighthouse_plans.pdf"},
                      {"descriptionurl", "https://pages.example/wc/plans"},
                      {"mime", "application/pdf"}}}}});
  nlohmann::json answer{{"batchcomplete", true}, {"query", {{"pages", pages}}}};
  if (more > 0) answer["continue"] = {{"gsroffset", more}, {"continue", "gsroffset||"}};
  return answer.dump();
}

// The target of DuckDuckGo result n.
inline std::string FakePage(int n) {
  return "https://www.lighthouses.example/cr\xC3\xA9"
         "ac'h/page " +
         std::to_string(n) + ".html";
}
// How the engine writes that target into its redirect: percent-encoded.
inline std::string Uddg(const std::string& target) {
  std::string out;
  for (unsigned char c : target) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_') {
      out += static_cast<char>(c);
    } else {
      static const char* hex = "0123456789ABCDEF";
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}
// The link the program keeps for that target.
inline std::string KeptPage(int n) {
  return "https://www.lighthouses.example/cr%C3%A9ac'h/page%20" + std::to_string(n) + ".html";
}

// DuckDuckGo's HTML results with pages first..last: an advertisement first,
// results behind the engine's redirect (every third one linked directly),
// and the forms of the previous page (when first > 1) and the next one
// (offset `more`, 0: none).
inline std::string DuckDuckGoAnswer(int first, int last, int more) {
  std::string page =
      "<!DOCTYPE html>\n<html><head><meta charset=\"UTF-8\"><title>lighthouse at DuckDuckGo"
      "</title></head><body>\n"
      "<form id=\"search_form_homepage\" name=\"x\" action=\"/html/\" method=\"post\">"
      "<input type=\"text\" name=\"q\" value=\"lighthouse\"><input type=\"submit\" "
      "value=\"S\"></form>\n<div id=\"links\" class=\"results\">\n"
      "<div class=\"result results_links result--ad\"><h2 class=\"result__title\">"
      "<a rel=\"nofollow\" class=\"result__a\" href=\"https://duckduckgo.com/y.js?ad_domain="
      "shop.example&amp;ad_provider=b\">Buy lighthouses</a></h2></div>\n";
  for (int n = first; n <= last; ++n) {
    const std::string href = n % 3 == 0 ? FakePage(n)
                                        : "//duckduckgo.com/l/?uddg=" + Uddg(FakePage(n)) +
                                              "&amp;rut=" + std::to_string(n * 7919);
    page +=
        "<div class=\"result results_links results_links_deep web-result\">"
        "<div class=\"links_main links_deep result__body\"><h2 class=\"result__title\">"
        "<a rel=\"nofollow\" class=\"result__a\" href=\"" +
        href + "\">Lighthouse " + std::to_string(n) +
        "</a></h2><a class=\"result__snippet\" href=\"" + href +
        "\">A <b>lighthouse</b> on the coast</a></div></div>\n";
  }
  auto form = [](const char* label, int offset) {
    return "<div class=\"nav-link\"><form action=\"/html/\" method=\"post\">"
           "<input type=\"submit\" class=\"btn btn--alt\" value=\"" +
           std::string(label) +
           "\"><input type=\"hidden\" name=\"q\" value=\"lighthouse keeper\">"
           "<input type=\"hidden\" name=\"s\" value=\"" +
           std::to_string(offset) +
           "\"><input type=\"hidden\" name=\"nextParams\" value=\"\">"
           "<input type=\"hidden\" name=\"v\" value=\"l\"><input type=\"hidden\" name=\"o\" "
           "value=\"json\"><input type=\"hidden\" name=\"dc\" value=\"" +
           std::to_string(offset + 1) +
           "\"><input type=\"hidden\" name=\"api\" value=\"d.js\">"
           "<input type=\"hidden\" name=\"vqd\" value=\"4-1234\"></form></div>\n";
  };
  if (first > 1) page += form("Previous", first > 11 ? first - 11 : 0);
  if (more > 0) page += form("Next", more);
  page += "</div></body></html>\n";
  return page;
}

inline std::string DuckDuckGoNoResults() {
  return "<html><body><div id=\"links\" class=\"results\"><div class=\"result results_links "
         "result--no-result\"><div class=\"no-results\">No  results.</div></div></div>"
         "</body></html>";
}

// What the engine shows a client it takes for a robot.
inline std::string CaptchaPage() {
  return "<html><head><title>DuckDuckGo</title></head><body><div class=\"anomaly-modal__mask\">"
         "<form id=\"challenge-form\" action=\"/anomaly.js?sv=html&amp;cc=sre\" method=\"POST\">"
         "<div class=\"anomaly-modal__title\">Unfortunately, bots use DuckDuckGo too.</div>"
         "<div class=\"anomaly-modal__images\"><img src=\"/assets/anomaly/images/1.jpg\"></div>"
         "<input type=\"hidden\" name=\"s\" value=\"0\"></form></div></body></html>";
}

// A loopback server playing one engine of today, its base in the
// engine's variable for the life of the object.
class FakeEngine {
 public:
  explicit FakeEngine(TodayEngine engine) : base_(Variable(engine), server.Url("")) {}

  static const char* Variable(TodayEngine engine) {
    switch (engine) {
      case TodayEngine::Openverse:
        return kOpenverseUrlVariable;
      case TodayEngine::Commons:
        return kCommonsUrlVariable;
      case TodayEngine::DuckDuckGo:
        break;
    }
    return kDuckDuckGoUrlVariable;
  }

  TestHttpServer server;

 private:
  ScopedEnv base_;
};

// The query field of a request target ("" when absent).
inline std::string QueryValue(const HttpRequest& request, const std::string& name) {
  const std::string& target = request.target;
  std::size_t pos = target.find('?');
  while (pos != std::string::npos) {
    const std::size_t start = pos + 1;
    const std::size_t end = target.find('&', start);
    const std::string field = target.substr(start, end - start);
    if (field.rfind(name + "=", 0) == 0) return field.substr(name.size() + 1);
    pos = end;
  }
  return {};
}

// The three engines with `pictures` results each (DuckDuckGo: `pages`),
// paged as the public ones page them; Openverse's pictures below pictureBase.
class FakeEngines {
 public:
  explicit FakeEngines(int pictures = 240, int pages = 25,
                       const std::string& pictureBase = kFakePictureBase) {
    openverse.server.SetHandler([=](const HttpRequest& r) {
      const int page = std::stoi("0" + QueryValue(r, "page"));
      const int pageCount = (pictures + 19) / 20;
      const int first = (page - 1) * 20 + 1;
      return HttpResponse::Ok(
          OpenverseAnswer(first, std::min(first + 19, pictures), pageCount, pictureBase),
          "application/json");
    });
    commons.server.SetHandler([pictures](const HttpRequest& r) {
      const int offset = std::stoi("0" + QueryValue(r, "gsroffset"));
      const int last = std::min(offset + 50, pictures);
      return HttpResponse::Ok(CommonsAnswer(offset + 1, last, last < pictures ? last : 0),
                              "application/json; charset=utf-8");
    });
    duckDuckGo.server.SetHandler([pages](const HttpRequest& r) {
      const int offset = std::stoi("0" + QueryValue(r, "s"));
      const int last = std::min(offset + 10, pages);
      return HttpResponse::Html(DuckDuckGoAnswer(offset + 1, last, last < pages ? last : 0));
    });
  }

  FakeEngine openverse{TodayEngine::Openverse};
  FakeEngine commons{TodayEngine::Commons};
  FakeEngine duckDuckGo{TodayEngine::DuckDuckGo};
};

}  // namespace tvx::test
