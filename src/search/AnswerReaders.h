#pragma once
// Reading the answers of the search engines of today: Openverse's and
// Wikimedia Commons' JSON, and DuckDuckGo's page of results. A reader takes
// the whole answer (the caller bounds its size) and either understands it or
// says that it does not: a changed format, an error page, a captcha, an
// answer cut short. Nothing here touches the network or the disk.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "search/TodayEngines.h"
#include "store/PictureCredits.h"

namespace tvx {

// One result as the engine gave it, before it is checked.
struct FoundItem {
  std::string url;                      // the picture, or the page
  std::optional<PictureCredit> credit;  // for pictures
  bool operator==(const FoundItem&) const = default;
};

struct AnswerPage {
  std::vector<FoundItem> items;  // in the engine's order
  // Where the next page is; none when the engine has no more.
  std::optional<NextPage> next;
};

// Openverse's /v1/images/ answer for page `page`: results[] with url,
// foreign_landing_url, title, creator, license and license_version; the
// next page while page is below page_count.
bool ReadOpenverseAnswer(std::string_view body, int page, AnswerPage& out);

// Commons' answer to a search of the File namespace with image info: the
// pages in search order (their index), each with imageinfo[0]'s url (a
// picture type only), descriptionurl and extmetadata (LicenseShortName, and
// Artist as the text of its HTML); the next page from "continue". A search
// that found nothing has no "query".
bool ReadCommonsAnswer(std::string_view body, AnswerPage& out);

// DuckDuckGo's HTML results: the href of each a.result__a, a redirect
// through /l/?uddg= unwrapped to its target; the next page from the form
// that carries the "s" field. A page with neither results nor the mark of an
// empty search (a captcha, a changed layout) is not understood.
bool ReadDuckDuckGoAnswer(std::string_view body, AnswerPage& out);

// Reads an answer of engine (page: the Openverse page it answers).
bool ReadAnswer(TodayEngine engine, std::string_view body, int page, AnswerPage& out);

// The text of a piece of HTML (tags dropped, entities decoded), as a credit
// field keeps it.
std::string HtmlText(std::string_view html);

// The open licence names Openverse sends ("by-sa", "4.0") as people write them
// ("CC BY-SA 4.0", "CC0 1.0", "Public Domain Mark 1.0").
std::string LicenceName(std::string_view license, std::string_view version);

// Percent-decodes text ("%2F" to '/'; '+' stays).
std::string PercentDecode(std::string_view text);

}  // namespace tvx
