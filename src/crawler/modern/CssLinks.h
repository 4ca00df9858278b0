#pragma once
// The links of a stylesheet for the modern link search, read as it arrives,
// piece by piece: its url(...) values and the stylesheets its @import rules
// name. What is held between pieces is bounded: a url( or @import that runs
// on for longer than a few hundred kilobytes is dropped.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "crawler/modern/HtmlLinks.h"

namespace tvx {

class CssLinkSink {
 public:
  virtual ~CssLinkSink() = default;
  // A url(...) as the stylesheet writes it (not yet resolved). false: read
  // no further.
  virtual bool OnCssUrl(std::string_view url) = 0;
  // The stylesheet an @import names, as a string or as url(...) (which
  // OnCssUrl is given as well). false: read no further.
  virtual bool OnCssImport(std::string_view url) = 0;
};

class CssLinkReader {
 public:
  explicit CssLinkReader(CssLinkSink& sink, std::size_t maxBytes = kMaxPageBytes);
  CssLinkReader(const CssLinkReader&) = delete;
  CssLinkReader& operator=(const CssLinkReader&) = delete;

  // Reads the next piece. false once reading has ended: the sink asked for
  // it, or the stylesheet passed maxBytes (what came before counts).
  bool Feed(const char* data, std::size_t size);
  // The stylesheet has ended: what is still held is read.
  void Finish();

  // The stylesheet was longer than maxBytes.
  bool Cut() const { return cut_; }

 private:
  void Scan(bool last);

  CssLinkSink& sink_;
  std::string held_;             // what the scans are not done with
  std::size_t urlsDone_ = 0;     // how much of held_ the url(...) scan is done with
  std::size_t importsDone_ = 0;  // and the @import scan
  std::size_t maxBytes_;
  std::size_t fed_ = 0;
  bool cut_ = false;
  bool stopped_ = false;
  bool finished_ = false;
};

// Calls take for each stylesheet a piece of CSS names in an @import rule
// ("x.css", url(x.css) or url("x.css")), until take answers false. Gives
// how much of css it is done with, as ForEachCssUrl does.
std::size_t ForEachCssImport(std::string_view css, bool last,
                             const std::function<bool(std::string_view)>& take);

}  // namespace tvx
