#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "workspace/file_names.h"
#include "workspace/parameters.h"

namespace talvern {
namespace {

TEST(UpdateParameters, RewritesAllSevenKeepingTheOthers) {
  test::TempDir dir;
  WorkSpace ws(dir.path());
  const auto file = ws.file(files::kParameters);
  test::write_file(file, "2.5 8000 7900 7950 0.25 3 1e-08\n");
  ParameterUpdate u = update_parameters(ws, [](CalcParameters& p) { p.scale = 5e-09; });
  EXPECT_EQ(u.write, WriteStatus::ok);
  EXPECT_EQ(u.values_found, 7u);
  EXPECT_EQ(test::read_file(file), "2.5\t8000\t7900\t7950\t0.25\t3\t5e-09\n");

  // A short file: the values it lacks come from the placeholders.
  test::write_file(file, "2 7000");
  u = update_parameters(ws, [](CalcParameters& p) { p.abs_correction = 4; });
  EXPECT_EQ(u.values_found, 2u);
  EXPECT_EQ(test::read_file(file), "2\t7000\t7020\t7065\t0.1\t4\t7.9e-09\n");

  // A value cut short ("3.5e") is not read, not even in part.
  test::write_file(file, "2 7000 7020 7065 0.1 4 3.5e\n");
  u = update_parameters(ws, [](CalcParameters&) {});
  EXPECT_EQ(u.values_found, 6u);
  EXPECT_EQ(test::read_file(file), "2\t7000\t7020\t7065\t0.1\t4\t7.9e-09\n");
}

}  // namespace
}  // namespace talvern
