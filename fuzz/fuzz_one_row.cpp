// One-row files: read_one_row, the parameter file and the Lorentzian file,
// each read from a file holding the input.

#include <cmath>

#include "fuzz_input.h"
#include "workspace/parameters.h"
#include "workspace/row_io.h"

using namespace talvern;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = fuzz::as_text(data, size);
  const auto file = fuzz::scratch_file("one_row.DAT", text);

  // read_one_row takes values while they are numbers: as many as a scanner
  // over the same text gives, and the same values.
  double out[13], want[13];
  for (double& v : out) v = -1.5;
  const std::size_t got = read_one_row(file, out, 13);
  NumberScanner s(text);
  std::size_t c = 0;
  while (c < 13 && s.next(want[c])) ++c;
  FUZZ_CHECK(got == c);
  for (std::size_t i = 0; i < 13; ++i)
    FUZZ_CHECK(i < got ? (out[i] == want[i] || (std::isnan(out[i]) && std::isnan(want[i])))
                       : out[i] == -1.5);

  CalcParameters p;
  FUZZ_CHECK(read_parameters(file, p) <= 7);
  LorentzSet l;
  FUZZ_CHECK(read_lorentz(file, l) <= 13);
  // What is read is written back only when finite, and then reads back.
  if (all_finite(l.width.data(), 4) && all_finite(l.position.data(), 4) &&
      all_finite(l.amplitude.data(), 4)) {
    const auto back_file = fuzz::scratch_file("lorentz_back.DAT", format_lorentz(l));
    LorentzSet back;
    FUZZ_CHECK(read_lorentz(back_file, back) == 13);
  }
  return 0;
}
