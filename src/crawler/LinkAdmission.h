#pragma once
// The state of one crawl and the decision, line by line, of which links on a
// page are queued for fetching. Nothing here touches the network or the
// windows, so a crawl's choices can be tried out on plain page text.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "store/RecordList.h"

namespace tvx {

// The longest URL a crawl queues: what a FileRecord's url holds. A longer one
// would be cut into the text of some other URL.
inline constexpr std::size_t kMaxCrawlUrl = sizeof(FileRecord{}.url) - 1;

// URLs met by a crawl, kept as a record list in the order met, with an index
// of their lower-cased texts so that a look-up costs the same on a site of a
// million URLs as on one of ten.
class UrlSet {
 public:
  // Whole text, ignoring ASCII case.
  bool Contains(std::string_view url) const;
  // Appends url (as a FileRecord stores it: cut to kMaxCrawlUrl).
  void Add(std::string_view url);
  int Count() const { return list_.GetCount(); }
  const RecordList<FileRecord>& List() const { return list_; }

 private:
  RecordList<FileRecord> list_;
  std::unordered_set<std::string> index_;
};

// URLs waiting to be fetched, last in first out, so the crawl goes depth first.
class UrlStack {
 public:
  void Push(std::string url) { items_.push_back(std::move(url)); }
  // The top URL, removed; an empty text when the stack is empty.
  std::string Pop();
  bool Empty() const { return items_.empty(); }
  std::size_t Size() const { return items_.size(); }
  void Clear() { items_.clear(); }

 private:
  std::vector<std::string> items_;
};

// Everything one crawl owns. Made afresh for every run.
class CrawlState {
 public:
  // Resolves the project's start URL (putting "http://" in front when it has
  // no "://"), takes its site root and queues it as the first URL.
  explicit CrawlState(const SiteProject& project);

  // The project's settings as they stand now: the record of that name in
  // RequestedSites, or the last copy seen once the record is gone, so an edit
  // made while the crawl runs applies to the links tested afterwards.
  const SiteProject& Settings();

  const std::string& Name() const { return name_; }
  const std::string& StartUrl() const { return startUrl_; }

  std::string url;            // the URL in hand (the page being read)
  std::string siteRoot;       // scheme + "://" + host + "/" of the start URL
  std::string pageFolder;     // GetLocalSubfolder(siteRoot, url)
  std::string projectFolder;  // "Pictures\" + name, as shown
  UrlSet visited;             // every URL ever queued, the start URL first
  UrlSet domains;             // site roots met while leaving the start site
  int domainCount = 1;
  int linkCount = 0;
  UrlStack stack;
  std::string progressText;    // last "%d links found", "%.02fk read" or failure text
  bool imgTagPending = false;  // an img tag of this crawl's page is still open
  bool errorFlag = false;

 private:
  std::string name_;
  std::string startUrl_;
  SiteProject project_;
};

enum class Admission { Continue, EndPage };

// Called with the new progress text each time a link is queued.
using LinkQueued = std::function<void(const std::string& progressText)>;

// Runs the href, frame and img extractors on one line of the page state.url
// and queues each link the project wants. EndPage: the crawl has reached more
// sites than the project allows and the rest of the page is not to be read.
Admission AdmitLink(CrawlState& state, std::string_view line, const LinkQueued& onQueued);

}  // namespace tvx
