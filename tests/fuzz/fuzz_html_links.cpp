// Feeds arbitrary bytes to the HTML link reader in pieces (the first byte
// sets their size), resolves every link against a page address and maps
// each result to a local path: every URL given out must be an http or https
// URL without a fragment, and every local path must stay a usable path
// below the project's folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "crawler/modern/HtmlLinks.h"
#include "crawler/modern/ModernUrl.h"
#include "files/LocalPath.h"

namespace {

class Check final : public tvx::HtmlLinkSink {
 public:
  bool OnLink(std::string_view link) override {
    if (link.empty()) std::abort();
    if (std::optional<std::string> url = resolver_.Resolve(link)) Verify(*url);
    return true;
  }
  void OnBase(std::string_view href) override { resolver_.Rebase(href); }

 private:
  static void Verify(const std::string& url) {
    if (url.size() > tvx::kMaxWebUrl) std::abort();
    if (url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0) std::abort();
    if (url.find('#') != std::string::npos || url.find(' ') != std::string::npos) std::abort();
    for (bool startSite : {true, false}) {
      tvx::LocalPlace place = tvx::LocalPlaceOf(url, startSite, ".jpg", 255);
      if (place.name.empty()) std::abort();
      tvx::LocalPath path = tvx::LocalPath::ForProject("p").Below(place.folders).Child(place.name);
      if (!path.Usable()) std::abort();
    }
  }
  tvx::UrlResolver resolver_{"https://pics.example/a/b/page.html?x=1"};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = 1 + data[0] % 64;
  Check sink;
  tvx::HtmlLinkReader reader(sink, 1 << 16);
  for (std::size_t pos = 1; pos < size; pos += piece) {
    if (!reader.Feed(reinterpret_cast<const char*>(data) + pos, std::min(piece, size - pos))) break;
  }
  reader.Finish();
  return 0;
}
