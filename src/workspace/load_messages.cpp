#include "workspace/load_messages.h"

#include "workspace/file_names.h"

namespace talvern {

std::string not_a_number_message(std::size_t line) {
  return "ERROR!!\r\nLine " + std::to_string(line) +
         " of the file holds text that is\r\nnot a number; the file must hold numbers\r\n"
         "only. Nothing was introduced into \r\n" TALVERN_WORK_SPACE_NAME ".";
}

std::string wrong_width_message(std::size_t line, std::size_t found, std::size_t expected) {
  return "ERROR!!\r\nLine " + std::to_string(line) + " of the file holds " + std::to_string(found) +
         (found == 1 ? " value" : " values") + "; each line\r\nmust hold " +
         std::to_string(expected) + ". Nothing was introduced into \r\n" TALVERN_WORK_SPACE_NAME ".";
}

std::string capped_caution(std::size_t kept, const char* unit) {
  return "CAUTION!!\r\nThe file holds more than " + std::to_string(kept) + " " + unit +
         ";\r\nonly the first " + std::to_string(kept) + " were read.\r\n";
}

std::string not_finite_message() {
  return "ERROR!!\r\nThe data give values too large to be\r\nstored. Nothing was introduced into \r\n"
         TALVERN_WORK_SPACE_NAME ".";
}

void add_caution(std::string& caution, std::string_view lines) {
  if (lines.empty()) return;
  if (caution.empty()) caution = "CAUTION!!\r\n";
  caution += lines;
}

std::string short_read_lines(const RowsRead& read, const char* file, std::size_t capacity) {
  const std::string name = file;
  if (read.capped)
    return name + " holds more than\r\n" + std::to_string(capacity) + " rows; only the first " +
           std::to_string(capacity) + " were read.\r\n";
  if (read.bad_token)
    return name + " holds text that is\r\nnot a number at line " + std::to_string(read.bad_line) +
           "; only the rows\r\nbefore it were read.\r\n";
  return {};
}

}  // namespace talvern
