#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "workspace/file_names.h"

namespace {

using talvern::test::TempDir;

struct CliRun { int exit_code = -1; std::string out; };  // standard output only

// `shell_prefix` goes before the program in the shell command (a `cd`, variables).
CliRun run_cli(const std::string& args, const std::string& shell_prefix = "") {
  CliRun r;
  const std::string cmd =
      shell_prefix + "'" + TALVERN_CLI_PATH + "' " + args + " 2>/dev/null";
  std::FILE* pipe = ::popen(cmd.c_str(), "r");
  char buf[4096];
  for (std::size_t n; pipe && (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) r.out.append(buf, n);
  const int status = pipe ? ::pclose(pipe) : -1;
  if (status != -1 && WIFEXITED(status)) r.exit_code = WEXITSTATUS(status);
  return r;
}

TEST(TalvernCli, ConstructPrintsTheFormMessage) {
  TempDir tmp;
  const auto dir = tmp.file("ws");
  CliRun r = run_cli("--workspace '" + dir.string() + "' construct");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "The working directory\n C:\\TALVERN_WORK_SPACE\nwas made. (Previous data were "
                   "protected.)\n");
  EXPECT_TRUE(std::filesystem::exists(dir / talvern::files::kCalculatedRIXS));
}

TEST(TalvernCli, HelpListsTheSubcommands) {
  CliRun r = run_cli("--help");
  EXPECT_EQ(r.exit_code, 0);
  for (const char* name : {"construct", "calc-rixs", "calc-emission", "load-exp-rixs",
                           "load-conv-xafs", "load-xrf", "import-wien2k", "import-wien2k-first",
                           "import-wien2k-second", "import-general"})
    EXPECT_NE(r.out.find(name), std::string::npos) << name;
}

TEST(TalvernCli, BadUsageExitsWithTwo) {
  TempDir tmp;
  const std::string ws = "--workspace '" + tmp.path().string() + "' ";
  const std::vector<std::string> bad = {
      "", ws, ws + "frobnicate", ws + "construct extra", ws + "calc-rixs", ws + "calc-rixs 7e3eV",
      ws + "calc-emission nan", ws + "calc-rixs inf", "--workspace", "--bogus construct"};
  for (const auto& args : bad) EXPECT_EQ(run_cli(args).exit_code, 2) << args;
  EXPECT_TRUE(std::filesystem::is_empty(tmp.path()));  // nothing ran
}

TEST(TalvernCli, EmptyWorkspaceDirectoryIsBadUsage) {
  // A CLI that took the empty directory could only write into the scratch
  // directory: it is the current directory, $TALVERN_WORK_SPACE and $HOME.
  TempDir tmp;
  const std::string at = std::string("'").append(tmp.path().string()).append("'");
  const std::string in_tmp = "cd " + at + " && TALVERN_WORK_SPACE=" + at + " HOME=" + at + " ";
  for (const char* args : {"--workspace= construct", "--workspace '' construct"})
    EXPECT_EQ(run_cli(args, in_tmp).exit_code, 2) << args;
  EXPECT_TRUE(std::filesystem::is_empty(tmp.path()));  // nothing ran
}

TEST(TalvernCli, EngineErrorExitsWithOne) {
  TempDir tmp;
  const auto dir = tmp.file("ws");
  const std::string ws = "--workspace '" + dir.string() + "' ";
  ASSERT_EQ(run_cli(ws + "construct").exit_code, 0);
  std::filesystem::remove(dir / talvern::files::kSelectiveForRIXS);  // too few rows
  CliRun r = run_cli(ws + "calc-rixs 7116");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(r.out.starts_with("ERROR!!")) << r.out;
}

TEST(TalvernCli, LoadsAndImportsRunTheCommandsOnTheNamedFile) {
  TempDir tmp;
  const auto dir = tmp.file("ws");
  const std::string ws = "--workspace '" + dir.string() + "' ";
  const std::string examples = std::string("'") + TALVERN_EXAMPLES_DIR + "/";
  ASSERT_EQ(run_cli(ws + "construct").exit_code, 0);

  CliRun r = run_cli(ws + "load-xrf " + examples + "Fe_XRF_Kbeta.DAT'");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "XRF data were introduced into \nC:\\TALVERN_WORK_SPACE.\n");
  EXPECT_TRUE(std::filesystem::exists(dir / talvern::files::kExpNonResonantEmission));

  r = run_cli(ws + "import-wien2k-second " + examples + "Fe_2compo_dn_WIEN2k.DAT'");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "ERROR!!\nYou should introduce the first component.\n");

  EXPECT_EQ(run_cli(ws + "import-wien2k-first " + examples + "Fe_2compo_up_WIEN2k.DAT'").exit_code, 0);
  EXPECT_EQ(run_cli(ws + "import-wien2k-second " + examples + "Fe_2compo_dn_WIEN2k.DAT'").exit_code, 0);
  EXPECT_TRUE(std::filesystem::exists(dir / talvern::files::kSelectiveReadingOrg));

  // A file that cannot be opened: the report goes to standard error.
  r = run_cli(ws + "load-exp-rixs '" + tmp.file("missing.DAT").string() + "'");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(std::filesystem::exists(dir / talvern::files::kRIXSExp));
  EXPECT_EQ(run_cli(ws + "load-xrf").exit_code, 2);
}

}  // namespace
