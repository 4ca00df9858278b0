#pragma once
// File helpers shared by the tests.
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tvx::test {

// The whole content of a file as bytes; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// size bytes of every value, the same for the same size.
inline std::string BinaryBody(std::size_t size) {
  std::string s(size, '\0');
  unsigned v = 7;
  for (auto& c : s) {
    v = v * 1664525u + 1013904223u;
    c = static_cast<char>(v >> 24);
  }
  return s;
}

}  // namespace tvx::test
