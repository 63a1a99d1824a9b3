#include "workspace/load_messages.h"

namespace talvern {

std::string not_a_number_message(std::size_t line) {
  return "ERROR!!\r\nLine " + std::to_string(line) +
         " of the file holds text that is\r\nnot a number; the file must hold numbers\r\n"
         "only. Nothing was introduced into \r\nC:\\TALVERN_WORK_SPACE.";
}

std::string capped_caution(std::size_t kept, const char* unit) {
  return "CAUTION!!\r\nThe file holds more than " + std::to_string(kept) + " " + unit +
         ";\r\nonly the first " + std::to_string(kept) + " were read.\r\n";
}

std::string not_finite_message() {
  return "ERROR!!\r\nThe data give values too large to be\r\nstored. Nothing was introduced into \r\n"
         "C:\\TALVERN_WORK_SPACE.";
}

std::string cannot_write_message(const char* file) {
  return std::string("ERROR!!\r\n") + file + " could not be written in\r\n" +
         "C:\\TALVERN_WORK_SPACE. Make the work-space\r\nwith \"Construct Work-Space\" first.";
}

std::string write_failure_message(WriteStatus status, const char* file) {
  switch (status) {
    case WriteStatus::ok: return {};
    case WriteStatus::not_finite: return not_finite_message();
    case WriteStatus::cannot_write: return cannot_write_message(file);
  }
  return {};
}

}  // namespace talvern
