#include "workspace/load_messages.h"

namespace talvern {

std::string not_a_number_message(std::size_t line) {
  return "ERROR!!\r\nLine " + std::to_string(line) +
         " of the file holds something that is not a number.\r\n"
         "The file must hold numbers only. Nothing was introduced \r\n"
         "into C:\\TALVERN_WORK_SPACE.";
}

std::string capped_caution(std::size_t kept, const char* unit) {
  return "CAUTION!!\r\nThe file holds more than " + std::to_string(kept) + " " + unit +
         "; only the first " + std::to_string(kept) + " were read.\r\n";
}

std::string not_finite_message() {
  return "ERROR!!\r\nThe data give values too large to be stored.\r\n"
         "Nothing was introduced into C:\\TALVERN_WORK_SPACE.";
}

}  // namespace talvern
