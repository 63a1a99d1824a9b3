// What every command line meets before it runs (talvern-cli and the Python
// module share it): a work-space path that names a file is refused, by every
// command but "construct", which says so itself, and nothing is written there.

#include <gtest/gtest.h>

#include <string>

#include "support/cli_run.h"
#include "support/temp_dir.h"

namespace {

using talvern::test::read_file;
using talvern::test::TempDir;
using talvern::test::write_file;

TEST(OpenForCommand, AWorkSpacePathThatIsAFileIsRefusedBeforeTheLock) {
  TempDir tmp;
  const auto file = tmp.file("a file");
  write_file(file, "kept\n");
  for (const char* command : {"xafs-load", "rixs-calculate --exc 7115.6", "exp-set --clear"}) {
    const talvern::test::CliRun r = talvern::test::run_cli_at(
        TALVERN_CLI_PATH, "--workspace '" + file.string() + "' " + command);
    EXPECT_EQ(r.exit_code, 1) << command;
    EXPECT_EQ(r.out, "ERROR!!\n" + file.string() +
                         " is a file, not a directory,\nso there is no work-space there. "
                         "Nothing was done.\n")
        << command;
  }
  const talvern::test::CliRun construct =
      talvern::test::run_cli_at(TALVERN_CLI_PATH, "--workspace '" + file.string() + "' construct");
  EXPECT_EQ(construct.out.find("is a file, not a directory,\nso there is no work-space there."),
            std::string::npos) << construct.out;
  EXPECT_EQ(read_file(file), "kept\n");
}

}  // namespace
