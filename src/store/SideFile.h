#pragma once
// A file the program keeps beside the six list files for what their format
// has no room for (options of projects, and the like). It is loaded and saved
// with the lists and by their rules (store/ListFiles.h).
#include <cstdint>
#include <string>
#include <string_view>

namespace tvx {

class SideFile {
 public:
  virtual ~SideFile() = default;
  // The file's name in the working folder.
  virtual const char* FileName() const = 0;
  // What the file holds, for messages: "web site options" ...
  virtual const char* Contents() const = 0;
  // ... and in short: "options".
  virtual const char* ShortContents() const = 0;
  // The text shown when the file cannot be written.
  virtual const char* SaveError() const = 0;
  // Adds what the file's text holds and clears the changed state. Reading
  // takes time in proportion to the text.
  virtual void Read(std::string_view content) = 0;
  // Whether anything changed since the file was read.
  virtual bool Modified() const = 0;
  // The text to write (empty: the file goes), with the change count it shows.
  virtual std::string Format(std::uint64_t& generation) const = 0;
};

}  // namespace tvx
