// Writes the manual page and the bash completion of the command line, made
// from its own description, at build time:
//   tavrinox_make_docs <tavrinox.1> <completion file>
#include <cstdio>
#include <fstream>
#include <string>

#include "cli/ManPage.h"

namespace {

bool WriteFile(const char* path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (out) return true;
  std::fprintf(stderr, "cannot write %s\n", path);
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <man page> <bash completion>\n", argv[0]);
    return 2;
  }
  const bool ok =
      WriteFile(argv[1], tvx::cli::ManPage()) && WriteFile(argv[2], tvx::cli::BashCompletion());
  return ok ? 0 : 1;
}
