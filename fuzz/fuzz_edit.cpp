// Edit-box numbers: parse_edit on any text, format_edit read back, and
// through_g6 against the text round trip of the six-digit file format.

#include <cmath>
#include <cstdio>
#include <cstring>

#include "fuzz_input.h"
#include "workspace/number_text.h"

using namespace talvern;

namespace {

void check_value(double v) {
  // The six-digit file value: through_g6 is the text round trip.
  const double via_text = strtod_c(format_g6(v).c_str(), nullptr);
  const double fast = through_g6(v);
  FUZZ_CHECK(std::memcmp(&via_text, &fast, sizeof fast) == 0 ||
             (std::isnan(via_text) && std::isnan(fast)));
  if (!std::isfinite(v)) return;
  // An edit box shows the value with `digits` digits and reads it back as
  // the C library reads that many digits.
  for (int digits = 1; digits <= 17; ++digits) {
    const std::string shown = format_edit(v, digits);
    char ref[64];
    std::snprintf(ref, sizeof ref, "%.*g", digits, v);
    const double want = strtod_c(ref, nullptr);
    // Rounded up past the largest double, the text overflows: it reads as 0.
    FUZZ_CHECK(parse_edit(shown) == (std::isfinite(want) ? want : 0.0));
  }
  FUZZ_CHECK(parse_edit(format_edit(v, 17)) == v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = fuzz::as_text(data, size);
  // Whatever is typed reads as a finite number.
  const double typed = parse_edit(text);
  FUZZ_CHECK(std::isfinite(typed));
  check_value(typed);
  // The bytes as a double: every bit pattern, NaN and infinities included.
  if (size >= sizeof(double)) {
    double raw;
    std::memcpy(&raw, data, sizeof raw);
    check_value(raw);
  }
  std::string s;
  append_int(s, static_cast<long>(size) - 100);
  FUZZ_CHECK(parse_edit(s) == static_cast<double>(static_cast<long>(size) - 100));
  return 0;
}
