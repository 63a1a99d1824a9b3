#pragma once
// The work-space files a command could not write, said after its message.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "workspace/row_io.h"
#include "workspace/workspace.h"

namespace talvern {

// What every caution about an unwritten file holds; the CLI exits 1 on it.
inline constexpr char kCouldNotBeWritten[] = " could not be written (";

// Collects the failed writes of one command. Each write goes through the
// log, which keeps the name of a file that could not be written and the
// system's reason; `append_to` then puts one caution line per file after
// the command's message.
class WriteLog {
 public:
  // Notes the outcome of a write of the work-space file `name`, right after
  // it (errno still holds its reason). True when the file was written.
  bool note(const char* name, WriteStatus status);

  bool rows(const WorkSpace& ws, const char* name, const double* values, std::size_t rows,
                   std::size_t k) {
    return note(name, write_rows(ws.file(name), values, rows, k));
  }
  bool text(const WorkSpace& ws, const char* name, std::string_view content) {
    return note(name, write_text_atomic(ws.file(name), content));
  }

  bool failed() const { return !failures_.empty(); }
  bool failed(const char* name) const;

  // "\r\nCAUTION!! FILE could not be written (reason); ..." for each file.
  void append_to(std::string& message) const;

 private:
  std::vector<std::pair<std::string, std::string>> failures_;  // file name, reason
};

// True when `message` says that a work-space file could not be written.
inline bool has_write_caution(std::string_view message) {
  return message.find(kCouldNotBeWritten) != std::string_view::npos;
}

}  // namespace talvern
