#pragma once
// The rules a site's robots.txt gives a crawler (RFC 9309): the group for our
// product token, else the group for "*"; Allow and Disallow, the longest
// match winning and Allow winning a tie; "*" and "$" in patterns; paths and
// patterns compared with their percent-encoding made alike. Crawl-delay, not
// part of the RFC but widely written, is kept too.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tvx {

// The token a robots.txt names this crawler by.
inline constexpr std::string_view kRobotsAgent = "Tavrinox";
// The most of a robots.txt that is read.
inline constexpr std::size_t kMaxRobotsBytes = 500 * 1024;

class RobotsRules {
 public:
  // Everything allowed (no robots.txt, or one answered 4xx).
  RobotsRules() = default;
  static RobotsRules Parse(std::string_view text, std::string_view agent = kRobotsAgent);

  // Whether a URL's path with its query ("/a/b?c=d") may be fetched.
  bool Allows(std::string_view pathAndQuery) const;
  // The Crawl-delay of the chosen group, in seconds; nullopt when none.
  std::optional<double> CrawlDelay() const { return crawlDelay_; }

 private:
  struct Rule {
    std::string pattern;  // normalized
    bool allow = false;
  };
  std::vector<Rule> rules_;
  std::optional<double> crawlDelay_;
};

// The path of a URL as robots.txt rules match it, percent-encoding made
// alike: unreserved characters decoded, every other escape in upper case,
// bytes outside printable ASCII escaped.
std::string RobotsNormalize(std::string_view path);

}  // namespace tvx
