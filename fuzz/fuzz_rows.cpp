// Row files: parse_rows as every work-space reader uses it. The first byte
// picks the row width (2, 3 or 4), header words (0 or 4) and a small or
// the usual capacity; the rest is the file.

#include <cstring>

#include "fuzz_input.h"
#include "workspace/number_text.h"
#include "workspace/row_io.h"

using namespace talvern;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t k = 2 + data[0] % 3;
  const std::size_t skip = (data[0] & 0x10) ? 4 : 0;
  const std::size_t capacity = (data[0] & 0x20) ? 7 : kRowCapacity;
  const std::string_view text = fuzz::as_text(data + 1, size - 1);

  const RowsRead r = parse_rows(text, k, capacity, skip);
  FUZZ_CHECK(r.k == k);
  FUZZ_CHECK(r.rows <= capacity);
  FUZZ_CHECK(r.values.size() >= r.rows * k);
  FUZZ_CHECK(!r.bad_token || r.bad_line >= 1);

  // What a writer makes of the rows reads back as the same rows, each value
  // as through_g6 has it.
  if (all_finite(r.values.data(), r.rows * k)) {
    const std::string again = format_rows(r.values.data(), r.rows, k);
    const RowsRead back = parse_rows(again, k, capacity);
    FUZZ_CHECK(back.rows == r.rows);
    FUZZ_CHECK(!back.bad_token && !back.capped && !back.last_row_dropped);
    for (std::size_t i = 0; i < r.rows * k; ++i) {
      const double want = through_g6(r.values[i]);
      FUZZ_CHECK(std::memcmp(&back.values[i], &want, sizeof want) == 0 ||
                 (back.values[i] == 0 && want == 0));
    }
  }

  // The scanner's other extractions on the same text.
  NumberScanner s(text);
  long n = 0;
  double d = 0;
  for (int i = 0; i < 64 && !s.failed(); ++i) {
    if (i % 3 == 0) s.skip_word();
    else if (i % 3 == 1) s.next_int(n);
    else s.next(d);
    FUZZ_CHECK(s.line() >= 1);
  }
  return 0;
}
