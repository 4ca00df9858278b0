#include "files/PictureFile.h"

#include <algorithm>
#include <string>

#include "store/Text.h"

namespace tvx {
namespace {

// Desktop launchers, executables and libraries, installers and packages,
// scripts of the interpreters a desktop may hand a file to. (".msp" is a
// picture type here, so it is not among them.)
constexpr std::string_view kProgramExtensions[] = {
    ".desktop", ".directory", ".appimage", ".flatpakref", ".flatpakrepo", ".flatpak", ".snap",
    ".deb",     ".rpm",       ".apk",      ".msi",        ".jar",         ".jnlp",    ".xpi",
    ".run",     ".bin",       ".elf",      ".so",         ".ko",          ".out",     ".exe",
    ".com",     ".scr",       ".pif",      ".cpl",        ".dll",         ".bat",     ".cmd",
    ".lnk",     ".hta",       ".reg",      ".sh",         ".bash",        ".zsh",     ".csh",
    ".ksh",     ".fish",      ".command",  ".py",         ".pyw",         ".pyc",     ".pl",
    ".rb",      ".php",       ".js",       ".jse",        ".mjs",         ".vbs",     ".vbe",
    ".wsf",     ".wsh",       ".ps1",      ".psm1",       ".app",         ".dmg",     ".pkg"};

}  // namespace

bool IsPictureFile(std::string_view text) {
  std::string lower = LowerCopy(text);
  for (std::string_view ext : kPictureExtensions)
    if (Contains(lower, ext)) return true;
  return false;
}

bool IsProgramName(std::string_view name) {
  while (!name.empty() && (name.back() == '.' || name.back() == ' ' || name.back() == '\t'))
    name.remove_suffix(1);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  const std::string ext = LowerCopy(name.substr(dot));
  return std::find(std::begin(kProgramExtensions), std::end(kProgramExtensions), ext) !=
         std::end(kProgramExtensions);
}

}  // namespace tvx
