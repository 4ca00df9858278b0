#include "crawler/modern/CssLinks.h"

#include <algorithm>

#include "store/Text.h"

namespace tvx {
namespace {

// Past this, an unfinished url( or @import is taken for no link and dropped.
constexpr std::size_t kMaxCssHeld = 256 * 1024;
constexpr std::string_view kImport = "@import";

std::size_t FindImport(std::string_view css, std::size_t from) {
  for (std::size_t i = css.find('@', from); i != std::string_view::npos; i = css.find('@', i + 1))
    if (EqualsIgnoreCase(css.substr(i, kImport.size()), kImport)) return i;
  return std::string_view::npos;
}

}  // namespace

std::size_t ForEachCssImport(std::string_view css, bool last,
                             const std::function<bool(std::string_view)>& take) {
  constexpr std::string_view kUrl = "url(";
  std::size_t pos = 0;
  for (;;) {
    const std::size_t at = FindImport(css, pos);
    if (at == std::string_view::npos) {
      // "@import" may be cut at the end of this piece.
      if (last) return css.size();
      const std::size_t keep = kImport.size() - 1;
      return std::max(pos, css.size() >= keep ? css.size() - keep : 0);
    }
    std::size_t i = at + kImport.size();
    while (i < css.size() && IsCssBlank(css[i])) ++i;
    const std::string_view rest = css.substr(i);
    const bool url = EqualsIgnoreCase(rest.substr(0, kUrl.size()), kUrl);
    if (!last && rest.size() < kUrl.size() && EqualsIgnoreCase(rest, kUrl.substr(0, rest.size())))
      return at;  // the rule goes on in the next piece
    if (url) {
      i += kUrl.size();
      while (i < css.size() && IsCssBlank(css[i])) ++i;
    }
    std::size_t end = std::string_view::npos;
    std::string_view name;
    if (i < css.size() && (css[i] == '"' || css[i] == '\'')) {
      end = css.find(css[i], i + 1);
      if (end != std::string_view::npos) name = css.substr(i + 1, end - i - 1);
    } else if (url) {
      end = css.find(')', i);
      if (end != std::string_view::npos) name = TrimCss(css.substr(i, end - i));
    } else {
      pos = i;  // names no stylesheet: no rule read here
      continue;
    }
    if (end == std::string_view::npos) return last ? css.size() : at;
    pos = end + 1;
    if (!name.empty() && !take(name)) return css.size();
  }
}

CssLinkReader::CssLinkReader(CssLinkSink& sink, std::size_t maxBytes)
    : sink_(sink), maxBytes_(maxBytes) {}

bool CssLinkReader::Feed(const char* data, std::size_t size) {
  if (stopped_ || finished_) return false;
  if (fed_ + size > maxBytes_) {
    size = maxBytes_ - fed_;
    cut_ = true;
  }
  fed_ += size;
  held_.append(data, size);
  if (cut_) {
    Finish();
    return false;
  }
  Scan(false);
  return !stopped_;
}

void CssLinkReader::Finish() {
  if (finished_) return;
  finished_ = true;
  if (!stopped_) Scan(true);
  held_ = std::string();
}

void CssLinkReader::Scan(bool last) {
  const std::string_view css(held_);
  urlsDone_ += ForEachCssUrl(css.substr(urlsDone_), last, [this](std::string_view url) {
    stopped_ = !sink_.OnCssUrl(url);
    return !stopped_;
  });
  if (stopped_) return;
  importsDone_ += ForEachCssImport(css.substr(importsDone_), last, [this](std::string_view url) {
    stopped_ = !sink_.OnCssImport(url);
    return !stopped_;
  });
  const std::size_t done = std::min(urlsDone_, importsDone_);
  held_.erase(0, done);
  urlsDone_ -= done;
  importsDone_ -= done;
  if (held_.size() > kMaxCssHeld) {
    // One url( or @import without its end: what follows it is the same
    // unfinished text, and no link.
    held_.clear();
    urlsDone_ = importsDone_ = 0;
  }
}

}  // namespace tvx
