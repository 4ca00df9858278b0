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

// Paths are shown with '\' between folders; the file system wants '/'.
inline std::string ToFsPath(std::string_view shown) {
  std::string out(shown);
  for (char& c : out)
    if (c == '\\') c = '/';
  return out;
}

}  // namespace tvx
