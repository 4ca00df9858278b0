#include "search/EngineQuery.h"

#include <cstdlib>

#include "crawler/classic/LinkExtract.h"
#include "crawler/classic/UrlRules.h"
#include "net/Internet.h"

namespace tvx {
namespace {

constexpr std::size_t kReadBuffer = 2048;

struct EngineTraits {
  const char* defaultHost;
  const char* hostVariable;
  const char* queryPath;
  const char* suffix;
  const char* ownWord;  // links naming the engine itself are not results
};

const EngineTraits& Traits(SearchEngine engine) {
  static const EngineTraits altaVista{
      "www.altavista.com", kAltaVistaHostVariable,
      "/cgi-bin/query?pg=q&kl=XX&stype=stext&q=", "&search.x=19&search.y=9", "Altavista"};
  static const EngineTraits yahoo{"search.yahoo.com", kYahooHostVariable, "/bin/search?p=", "",
                                  "Yahoo"};
  return engine == SearchEngine::AltaVista ? altaVista : yahoo;
}

}  // namespace

std::string SearchHost(SearchEngine engine) {
  const EngineTraits& traits = Traits(engine);
  const char* configured = std::getenv(traits.hostVariable);
  if (configured != nullptr && *configured != '\0') return configured;
  return traits.defaultHost;
}

std::string EncodeSearchText(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c == ' ') c = '+';
  return out;
}

std::string BuildQueryUrl(SearchEngine engine, std::string_view host, std::string_view searchText) {
  const EngineTraits& traits = Traits(engine);
  std::string url = "http://";
  url += host;
  url += traits.queryPath;
  url += EncodeSearchText(searchText);
  url += "+picture+image";
  url += traits.suffix;
  return url;
}

bool ResultLinkOfLine(SearchEngine engine, std::string_view line, std::string& link) {
  std::string found;
  if (!ExtractHref(line, found)) return false;
  if (LinkContains(Traits(engine).ownWord, found)) return false;
  if (!LinkContains("http://", found) && !LinkContains("https://", found)) return false;
  link = std::move(found);
  return true;
}

int QueryEngine(SearchEngine engine, std::string_view searchText, std::vector<std::string>& results,
                const std::function<void()>& betweenLines,
                const std::function<bool()>& stopRequested) {
  results.clear();
  const std::string text(searchText.substr(0, kMaxSearchText));
  if (text.empty()) return kQueryEmptyText;

  // Links are taken line by line as the page arrives; since each line yields
  // at most one link on its own, this keeps the same links in the same order
  // as reading the whole page first, without holding the page.
  std::vector<std::string> links;
  try {
    net::Session session("Tavrinox");
    auto page = session.OpenUrl(BuildQueryUrl(engine, SearchHost(engine), text),
                                /*failOnHttpError=*/false);
    page->SetReadBufferSize(kReadBuffer);
    std::string line;
    std::size_t lines = 0;
    while (lines < kMaxPageLines && page->ReadLine(line)) {
      ++lines;
      if (betweenLines) betweenLines();
      if (stopRequested && stopRequested()) {
        page->Close();
        session.Close();
        return 0;
      }
      std::string link;
      if (links.size() < kMaxResultLinks && ResultLinkOfLine(engine, line, link))
        links.push_back(std::move(link));
    }
    page->Close();
    session.Close();
  } catch (const net::InternetError&) {
    return kQueryFailed;
  }
  results = std::move(links);
  return static_cast<int>(results.size());
}

}  // namespace tvx
