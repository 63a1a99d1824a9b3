// The measured set's file: parse_measured_set on any text, and what the
// writer makes of the set read back as the same set.

#include "fuzz_input.h"
#include "workspace/measured_set.h"

using namespace talvern;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const MeasuredSetRead r = parse_measured_set(fuzz::as_text(data, size));
  FUZZ_CHECK(r.set.points() <= kMeasuredSetCapacity);
  for (std::size_t i = 0; i < r.set.groups.size(); ++i) {
    const MeasuredGroup& g = r.set.groups[i];
    FUZZ_CHECK(!g.points.empty());
    if (i > 0) {
      const MeasuredGroup& before = r.set.groups[i - 1];
      FUZZ_CHECK(before.kind < g.kind || (before.kind == g.kind && before.energy < g.energy));
    }
    for (std::size_t j = 1; j < g.points.size(); ++j)
      FUZZ_CHECK(g.varying(g.points[j - 1]) <= g.varying(g.points[j]));
  }
  // Written and read back once, the set is as the file holds it: written
  // again, read again, the same text.
  const auto text = measured_set_text(r.set);
  if (!text) return 0;
  const MeasuredSetRead back = parse_measured_set(*text);
  FUZZ_CHECK(back.bad_line == 0 && !back.capped && back.set.points() == r.set.points());
  const auto again = measured_set_text(back.set);
  FUZZ_CHECK(again.has_value());
  const auto third = measured_set_text(parse_measured_set(*again).set);
  FUZZ_CHECK(third && *third == *again);
  return 0;
}
