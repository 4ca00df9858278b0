#include <curl/curl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crawler/modern/ModernUrl.h"

namespace tvx {
namespace {

using Strings = std::vector<std::string>;

TEST(ModernUrl, ResolvesLinksAsABrowserDoes) {
  const UrlResolver page("http://Pics.Example:80/Gallery/2024/Page.html?view=grid#top");
  ASSERT_TRUE(page.Valid());
  EXPECT_EQ(page.Base(), "http://pics.example/Gallery/2024/Page.html?view=grid");
  const struct {
    const char* link;
    const char* expected;  // nullptr: not followed
  } cases[] = {
      {"IMG_1234.JPG", "http://pics.example/Gallery/2024/IMG_1234.JPG"},
      {"IMG_1234.JPG#exif", "http://pics.example/Gallery/2024/IMG_1234.JPG"},
      {"./thumbs/a.jpg", "http://pics.example/Gallery/2024/thumbs/a.jpg"},
      {"../2023/B.Jpeg", "http://pics.example/Gallery/2023/B.Jpeg"},
      {"../../../../../top.gif", "http://pics.example/top.gif"},
      {"/Root.png#frag", "http://pics.example/Root.png"},
      {"?view=list", "http://pics.example/Gallery/2024/Page.html?view=list"},
      {"#comments", "http://pics.example/Gallery/2024/Page.html?view=grid"},
      {"", "http://pics.example/Gallery/2024/Page.html?view=grid"},
      {"  \n pic one.jpg\t", "http://pics.example/Gallery/2024/pic%20one.jpg"},
      {"caf\xc3\xa9.jpg", "http://pics.example/Gallery/2024/caf%C3%A9.jpg"},
      {"photo.php?id=3&amp=1", "http://pics.example/Gallery/2024/photo.php?id=3&amp=1"},
      {"sub\\dir\\x.gif", "http://pics.example/Gallery/2024/sub/dir/x.gif"},
      {"//CDN.Example/i/1.webp", "http://cdn.example/i/1.webp"},
      {"HTTPS://Pics.Example:443/A/./b/../C.jpg", "https://pics.example/A/C.jpg"},
      {"https://pics.example:8443/x.gif", "https://pics.example:8443/x.gif"},
      {"javascript:void(0)", nullptr},
      {"mailto:me@pics.example", nullptr},
      {"data:image/png;base64,iVBORw0", nullptr},
      {"ftp://pics.example/a.jpg", nullptr},
      {"http://pics.example:99999/x", nullptr},
      {"//%7Fhost/x.jpg", nullptr},
      {"http://../x.jpg", nullptr},
  };
  // Twice: the second time from what the resolver keeps.
  for (int pass = 0; pass < 2; ++pass) {
    for (const auto& c : cases) {
      std::optional<std::string> got = page.Resolve(c.link);
      if (c.expected) {
        EXPECT_EQ(got.value_or("(none)"), c.expected) << c.link << " pass " << pass;
      } else {
        EXPECT_FALSE(got) << c.link << " gave " << *got << " pass " << pass;
      }
    }
  }
  EXPECT_FALSE(page.Resolve("/" + std::string(kMaxWebUrl, 'a')));
}

// Plain links are resolved without libcurl's parser: every combination of
// dot segments, empty segments, queries and leading slashes must give what
// libcurl gives.
TEST(ModernUrl, PlainLinksResolveAsLibcurlResolvesThem) {
  const char* bases[] = {"http://h.example/", "http://h.example/a/b/c.html",
                         "https://h.example:8443/a/b/?x=1", "http://h.example/a//b"};
  const char* parts[] = {"x.html", ".", "..", "", "d", "?q=1&r", "~u-v_w"};
  std::vector<std::string> links;
  for (const char* first : {"", "/", "./", "../"})
    for (const char* a : parts)
      for (const char* b : parts)
        for (const char* c : parts)
          links.push_back(std::string(first) + a + "/" + b + (*c == '?' ? "" : "/") + c);
  // Another host, not a path.
  std::erase_if(links, [](const std::string& link) { return link.rfind("//", 0) == 0; });
  int compared = 0;
  for (const char* base : bases) {
    const UrlResolver page(base);
    ASSERT_TRUE(page.Valid()) << base;
    for (const std::string& link : links) {
      CURLU* url = curl_url();
      ASSERT_TRUE(url);
      curl_url_set(url, CURLUPART_URL, page.Base().c_str(), 0);
      std::string expected = "(none)";
      char* text = nullptr;
      if (curl_url_set(url, CURLUPART_URL, link.c_str(), 0) == CURLUE_OK &&
          curl_url_get(url, CURLUPART_URL, &text, CURLU_NO_DEFAULT_PORT) == CURLUE_OK)
        expected = text;
      curl_free(text);
      curl_url_cleanup(url);
      EXPECT_EQ(page.Resolve(link).value_or("(none)"), expected) << base << " + " << link;
      ++compared;
    }
  }
  EXPECT_GT(compared, 4000);
}

TEST(ModernUrl, BaseHrefAndStartUrls) {
  UrlResolver page("https://pics.example/a/b/page.html");
  EXPECT_EQ(page.Resolve("x.jpg").value_or(""), "https://pics.example/a/b/x.jpg");
  page.Rebase("../media/");
  EXPECT_EQ(page.Resolve("x.jpg").value_or(""), "https://pics.example/a/media/x.jpg");
  page.Rebase("javascript:x");  // ignored
  EXPECT_EQ(page.Resolve("y.jpg").value_or(""), "https://pics.example/a/media/y.jpg");
  page.Rebase("http://Other.Example/root/");
  EXPECT_EQ(page.Resolve("/z.jpg").value_or(""), "http://other.example/z.jpg");

  EXPECT_EQ(StartWebUrl(" pics.example/Start.html ").value_or(""),
            "http://pics.example/Start.html");
  EXPECT_EQ(StartWebUrl("https://pics.example").value_or(""), "https://pics.example/");
  EXPECT_FALSE(StartWebUrl("ftp://pics.example/"));
  EXPECT_FALSE(StartWebUrl("http://"));
  EXPECT_FALSE(UrlResolver("not a url").Valid());

  const WebUrlParts parts = SplitWebUrl("https://user:pw@[::1]:8443/a/b.jpg?x=1/2");
  EXPECT_EQ(parts.scheme, "https");
  EXPECT_EQ(parts.host, "[::1]");
  EXPECT_EQ(parts.path, "/a/b.jpg");
  EXPECT_EQ(parts.query, "x=1/2");
  EXPECT_EQ(SplitWebUrl("http://h.example:81?q").path, "/");
  EXPECT_EQ(VisitKey("https://h.example/a"), VisitKey("http://h.example/a"));
}

TEST(ModernUrl, PictureTypesAndKinds) {
  SiteProject project{};
  project.typeJpg = 1;
  project.typeTif = 1;
  SetText(project.otherTypes, "*.WebP, avif;.svg");
  const PictureTypes types = PictureTypes::Of(project);
  EXPECT_EQ(ParseOtherTypes("*.WebP, avif;.svg"), (Strings{".webp", ".avif", ".svg"}));
  EXPECT_EQ(ParseOtherTypes(" ,;. "), Strings{});

  const struct {
    const char* url;
    UrlKind kind;
  } cases[] = {
      {"http://h/IMG_1.JPG", UrlKind::Picture},
      {"http://h/a.jpeg?w=300", UrlKind::Picture},
      {"http://h/a.JFIF", UrlKind::Picture},
      {"http://h/scan.TIFF", UrlKind::Picture},
      {"http://h/x.webp", UrlKind::Picture},
      {"http://h/x.gif", UrlKind::Skip},       // a picture type not ticked
      {"http://h/x.gif.html", UrlKind::Page},  // only the end counts
      {"http://h/x.jpg/", UrlKind::Page},      // a folder
      {"http://h/style.css", UrlKind::Skip},
      {"http://h/movie.MP4", UrlKind::Skip},
      {"http://h/photo.php?id=3.jpg", UrlKind::Page},  // the query does not count
      {"http://h/photo/123", UrlKind::Page},
      {"http://h/v1.2/", UrlKind::Page},
      {"http://h/news/v1.2", UrlKind::Page},
  };
  for (const auto& c : cases) EXPECT_EQ(KindOfUrl(c.url, types), c.kind) << c.url;

  EXPECT_EQ(types.ExtensionFor("image/jpeg; charset=binary"), ".jpg");
  EXPECT_EQ(types.ExtensionFor("IMAGE/WEBP"), ".webp");
  EXPECT_EQ(types.ExtensionFor("image/tiff"), ".tif");
  EXPECT_EQ(types.ExtensionFor("image/png"), std::nullopt);  // not wanted
  EXPECT_EQ(types.ExtensionFor("text/html"), std::nullopt);

  SiteProject all{};
  all.downloadAllFiles = 1;
  const PictureTypes any = PictureTypes::Of(all);
  EXPECT_EQ(KindOfUrl("http://h/a.pcx", any), UrlKind::Picture);
  EXPECT_EQ(KindOfUrl("http://h/a.avif", any), UrlKind::Picture);
  // Any other image type is wanted but names no extension.
  EXPECT_EQ(any.ExtensionFor("image/x-portable-anymap"), "");
  EXPECT_EQ(any.ExtensionFor("image/"), std::nullopt);
  EXPECT_TRUE(IsHtmlType("Text/HTML; charset=utf-8"));
  EXPECT_FALSE(IsHtmlType("text/plain"));
}

TEST(ModernUrl, LocalPlacesKeepCaseAndMakeQueriesSafe) {
  const struct {
    const char* url;
    bool startSite;
    const char* extension;
    const char* folders;
    const char* name;
  } cases[] = {
      {"http://h/Gallery/2024/IMG_1234.JPG", true, "", "Gallery/2024", "IMG_1234.JPG"},
      {"http://h/gallery/2024/img_1234.jpg", true, "", "gallery/2024", "img_1234.jpg"},
      {"http://h/photo.php?id=3", true, ".jpg", "", "photo.php_id=3.jpg"},
      {"http://h/a/pic.JPG?w=300&h=2", true, "", "a", "pic_w=300&h=2.JPG"},
      {"http://h/img?src=a/b\\c", true, ".png", "", "img_src=a%2Fb%5Cc.png"},
      {"http://h/photo/123", true, ".webp", "photo", "123.webp"},
      {"http://h/photo/123.WEBP", true, ".webp", "photo", "123.WEBP"},
      {"http://h/gallery/", true, ".gif", "gallery", "index.gif"},
      {"http://h/my%20pics/a%20b%2Fc.jpg", true, "", "my pics", "a b%2Fc.jpg"},
      {"http://h/%2e%2e/x.jpg", true, "", "%2e%2e", "x.jpg"},
      {"https://cdn.h/i/1.jpg", false, "", "cdn.h/i", "1.jpg"},
  };
  for (const auto& c : cases) {
    LocalPlace place = LocalPlaceOf(c.url, c.startSite, c.extension, 255);
    EXPECT_EQ(place.folders, c.folders) << c.url;
    EXPECT_EQ(place.name, c.name) << c.url;
  }

  // Over-long names are cut with a hash of the whole, so two of them still differ.
  const std::string base = "http://h/p.php?id=" + std::string(300, 'x');
  LocalPlace one = LocalPlaceOf(base + "1", true, ".jpg", 60);
  LocalPlace two = LocalPlaceOf(base + "2", true, ".jpg", 60);
  EXPECT_EQ(one.name.size(), 60u);
  EXPECT_NE(one.name, two.name);
  EXPECT_EQ(one.name.substr(0, 9), "p.php_id=");
  EXPECT_EQ(one.name.substr(one.name.size() - 4), ".jpg");
}

}  // namespace
}  // namespace tvx
