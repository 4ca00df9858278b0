#pragma once
// Small text helpers shared by the whole engine: fixed-capacity fields,
// ASCII case folding and the '\' separator shown to the user.
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace tvx {

// Copies text into a NUL-terminated field of capacity N, cut to N - 1 characters.
template <std::size_t N>
void SetText(char (&field)[N], std::string_view text) {
  std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
  if (n) std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

// The text held by a field, never reading past its capacity.
template <std::size_t N>
std::string_view TextOf(const char (&field)[N]) {
  return std::string_view(field, strnlen(field, N));
}

inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

inline std::string LowerCopy(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

inline bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

inline bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// The text after the last '/' (the whole text when it has none).
inline std::string_view LastSegment(std::string_view url) {
  std::size_t slash = url.rfind('/');
  return slash == std::string_view::npos ? url : url.substr(slash + 1);
}

// text without the line breaks (CR and LF) at its end.
inline std::string_view TrimLineEnd(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

// text without blanks (space, tab, line breaks, form feed) at either end.
inline std::string_view TrimBlanks(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r\n\f\v";
  std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// Appends the byte as a URL escape: '%' and two upper-case hex digits.
inline void AppendPercentEscape(std::string& out, unsigned char c) {
  constexpr std::string_view kHex = "0123456789ABCDEF";
  out += '%';
  out += kHex[c >> 4];
  out += kHex[c & 15];
}

// Paths are shown with '\' between folders; the file system wants '/'.
inline std::string ToFsPath(std::string_view shown) {
  std::string out(shown);
  for (char& c : out)
    if (c == '\\') c = '/';
  return out;
}

}  // namespace tvx
