#pragma once
// The SHA-256 digest of a picture's bytes as they are written: two pictures
// with the same digest are copies of one another.
#include <cstddef>
#include <memory>
#include <string>

namespace tvx {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Add(const char* data, std::size_t size);
  // The digest of everything added, as 64 lower-case hex digits; the object
  // starts again afterwards.
  std::string HexDigest();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

}  // namespace tvx
