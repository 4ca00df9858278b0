#pragma once
// The state of one crawl and the decision, line by line, of which links on a
// page are queued for fetching. Nothing here touches the network or the
// windows, so a crawl's choices can be tried out on plain page text.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "crawler/classic/UrlSet.h"
#include "files/LocalPath.h"
#include "store/RecordList.h"
#include "store/Records.h"

namespace tvx {

// Everything one crawl owns. Made afresh for every run.
class CrawlState {
 public:
  // Resolves the project's start URL (putting "http://" in front when it has
  // no "://"), takes its site root and queues it as the first URL.
  // sites and id: where the project's record stands, to follow its edits.
  explicit CrawlState(const SiteProject& project, const RecordList<SiteProject>* sites = nullptr,
                      ItemId id = 0);
  CrawlState(const CrawlState&) = delete;
  CrawlState& operator=(const CrawlState&) = delete;

  // The project's settings as they stand now: its record in the requested
  // web sites, or the last copy seen once the record is gone, so an edit made
  // while the crawl runs applies to the links tested afterwards.
  const SiteProject& Settings();

  const std::string& Name() const { return name_; }
  const std::string& StartUrl() const { return startUrl_; }

  std::string url;          // the URL in hand (the page being read)
  std::string siteRoot;     // scheme + "://" + host + "/" of the start URL
  std::string pageFolder;   // GetLocalSubfolder(siteRoot, url)
  LocalPath projectFolder;  // Pictures\ + name
  UrlSet visited;           // every URL ever queued, the start URL first
  UrlSet domains;           // site roots met while leaving the start site
  int domainCount = 1;
  int linkCount = 0;
  // For the row's progress bar: links queued that are saved as files rather
  // than read as pages (the start URL among them), and the files saved.
  int pictureLinks = 0;
  int picturesSaved = 0;
  UrlStack stack{visited};     // places of texts held by visited
  std::string progressText;    // last "%d links found", "%.02fk read" or failure text
  bool imgTagPending = false;  // an img tag of this crawl's page is still open

 private:
  std::string name_;
  std::string startUrl_;
  SiteProject project_;
  const RecordList<SiteProject>* sites_;
  ItemId id_;
};

enum class Admission { Continue, EndPage };

// Called with the new progress text each time a link is queued.
using LinkQueued = std::function<void(const std::string& progressText)>;

// Runs the href, frame and img extractors on one line of the page state.url
// and queues each link the project wants. EndPage: the crawl has reached more
// sites than the project allows and the rest of the page is not to be read.
Admission AdmitLink(CrawlState& state, std::string_view line, const LinkQueued& onQueued);

}  // namespace tvx
