#include <gtest/gtest.h>

#include "workspace/number_text.h"

namespace talvern {
namespace {

TEST(EditBoxText, WholeNumbersKeepTheirPoint) {
  EXPECT_EQ(format_edit(7114, 5), "7114.");
  EXPECT_EQ(format_edit(0.5, 5), "0.5");
  EXPECT_EQ(format_edit(7114.36, 5), "7114.4");
  EXPECT_EQ(format_edit(-3, 5), "-3.");
  EXPECT_EQ(format_edit(1e-05, 5), "1.e-05");
  EXPECT_EQ(format_edit(123456, 5), "1.2346e+05");
}

TEST(EditBoxText, ReadsTheLeadingDecimalNumber) {
  struct Case { const char* text; double value; };
  const Case cases[] = {{"12abc", 12}, {"abc", 0}, {"", 0},    {" -3.5e2x", -350}, {"7114.", 7114},
                        {"+.5", 0.5},  {"1e", 1},  {"inf", 0}, {"nan", 0},         {"0x10", 0}};
  for (const auto& c : cases) EXPECT_EQ(parse_edit(c.text), c.value) << '"' << c.text << '"';
}

}  // namespace
}  // namespace talvern
