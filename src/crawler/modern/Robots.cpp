#include "crawler/modern/Robots.h"

#include <cctype>
#include <cstdlib>

#include "store/Text.h"

namespace tvx {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsUnreserved(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

void AppendEscaped(std::string& out, unsigned char c) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += '%';
  out += kHex[c >> 4];
  out += kHex[c & 0xF];
}

// Whether pattern ("*" any run of octets, a final "$" the end) matches the
// start of path. Greedy with one point to go back to: linear in practice,
// never worse than their product.
bool Matches(std::string_view pattern, std::string_view path) {
  bool anchored = !pattern.empty() && pattern.back() == '$';
  if (anchored) pattern.remove_suffix(1);
  std::size_t p = 0, s = 0;
  std::size_t starP = std::string_view::npos, starS = 0;
  while (true) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starS = s;
      continue;
    }
    if (p == pattern.size()) {
      if (!anchored || s == path.size()) return true;
    } else if (s < path.size() && pattern[p] == path[s]) {
      ++p;
      ++s;
      continue;
    }
    if (starP == std::string_view::npos || starS >= path.size()) return false;
    p = starP + 1;
    s = ++starS;
  }
}

// The product token of a User-agent value: its leading letters, '-' and '_'.
std::string_view ProductToken(std::string_view value) {
  std::size_t n = 0;
  while (n < value.size() &&
         (std::isalpha(static_cast<unsigned char>(value[n])) || value[n] == '-' || value[n] == '_'))
    ++n;
  return n == 0 && !value.empty() && value[0] == '*' ? value.substr(0, 1) : value.substr(0, n);
}

}  // namespace

std::string RobotsNormalize(std::string_view path) {
  std::string out;
  out.reserve(path.size());
  for (std::size_t i = 0; i < path.size(); ++i) {
    const auto c = static_cast<unsigned char>(path[i]);
    if (c == '%' && i + 2 < path.size() && HexValue(path[i + 1]) >= 0 &&
        HexValue(path[i + 2]) >= 0) {
      const auto decoded =
          static_cast<unsigned char>(HexValue(path[i + 1]) * 16 + HexValue(path[i + 2]));
      if (IsUnreserved(decoded))
        out += static_cast<char>(decoded);
      else
        AppendEscaped(out, decoded);
      i += 2;
    } else if (c <= 0x20 || c >= 0x7F) {
      AppendEscaped(out, c);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

RobotsRules RobotsRules::Parse(std::string_view text, std::string_view agent) {
  if (text.size() > kMaxRobotsBytes) text = text.substr(0, kMaxRobotsBytes);
  struct Group {
    bool ours = false, any = false;
    std::vector<Rule> rules;
    std::optional<double> delay;
  };
  std::vector<Group> groups;
  bool inAgents = false;  // the last line was a User-agent line
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (const std::size_t hash = line.find('#'); hash != std::string_view::npos)
      line = line.substr(0, hash);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string key = LowerCopy(TrimBlanks(line.substr(0, colon)));
    const std::string_view value = TrimBlanks(line.substr(colon + 1));
    if (key == "user-agent") {
      if (!inAgents || groups.empty()) groups.emplace_back();
      inAgents = true;
      const std::string_view token = ProductToken(value);
      if (token == "*")
        groups.back().any = true;
      else if (!token.empty() && EqualsIgnoreCase(token, agent))
        groups.back().ours = true;
      continue;
    }
    if (key != "allow" && key != "disallow" && key != "crawl-delay") continue;  // sitemap, ...
    inAgents = false;
    if (groups.empty()) continue;  // rules before any group apply to nobody
    if (key == "crawl-delay") {
      char* after = nullptr;
      const std::string number(value);
      const double seconds = std::strtod(number.c_str(), &after);
      if (after != number.c_str() && seconds >= 0 && !groups.back().delay)
        groups.back().delay = seconds;
    } else if (!value.empty()) {  // an empty Disallow forbids nothing
      groups.back().rules.push_back({RobotsNormalize(value), key == "allow"});
    }
  }
  bool anyOurs = false;
  for (const Group& g : groups) anyOurs = anyOurs || g.ours;
  RobotsRules rules;
  for (Group& g : groups) {
    if (anyOurs ? !g.ours : !g.any) continue;
    for (Rule& r : g.rules) rules.rules_.push_back(std::move(r));
    if (g.delay && (!rules.crawlDelay_ || *g.delay > *rules.crawlDelay_))
      rules.crawlDelay_ = g.delay;
  }
  return rules;
}

bool RobotsRules::Allows(std::string_view pathAndQuery) const {
  if (pathAndQuery == "/robots.txt") return true;
  const std::string path = RobotsNormalize(pathAndQuery.empty() ? "/" : pathAndQuery);
  std::size_t best = 0;
  bool allowed = true;
  bool found = false;
  for (const Rule& r : rules_) {
    if (!Matches(r.pattern, path)) continue;
    const std::size_t length = r.pattern.size();
    if (!found || length > best || (length == best && r.allow)) {
      allowed = r.allow;
      best = length;
      found = true;
    }
  }
  return allowed;
}

}  // namespace tvx
