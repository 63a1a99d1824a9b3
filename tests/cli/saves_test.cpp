// Every save of a user's file from the shell, into the work-space by each
// way there is: refused with the file named, exit 1, nothing written.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/cli_run.h"
#include "support/temp_dir.h"
#include "workspace/file_names.h"

namespace {

namespace fs = std::filesystem;
namespace files = talvern::files;
using talvern::test::CliRun;
using talvern::test::read_file;

CliRun run_cli(const std::string& args, const std::string& shell_prefix = "") {
  return talvern::test::run_cli_at(TALVERN_CLI_PATH, args, shell_prefix);
}

// Every entry under `dir` with its content, or where a link leads; the
// history and the lock, which every run changes, left out.
std::map<std::string, std::string> tree(const fs::path& dir) {
  std::map<std::string, std::string> all;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    const std::string name = e.path().lexically_relative(dir).string();
    if (name == files::kHistory || name == ".talvern.lock") continue;
    all[name] = e.is_symlink() ? "-> " + fs::read_symlink(e.path()).string()
                : e.is_regular_file() ? read_file(e.path())
                                      : "(folder)";
  }
  return all;
}

TEST(TalvernCliSaves, NoneWritesIntoTheWorkSpace) {
  talvern::test::TempDir tmp;
  const fs::path ws = tmp.file("ws"), out = tmp.file("out");
  const std::string at = "--workspace '" + ws.string() + "' ";
  const std::string examples = std::string("'") + TALVERN_EXAMPLES_DIR + "/";
  for (const std::string& setup : std::vector<std::string>{
           "construct", "load-conv-xafs " + examples + "Fe_Conventional_XAFS.DAT'",
           "load-xrf " + examples + "Fe_XRF_Kbeta.DAT'",
           "load-exp-rixs " + examples + "Fe_RIXS_Exc7115.6eV.DAT'",
           "import-wien2k " + examples + "Fe_1compo_WIEN2k.DAT'", "xafs-load",
           "xafs-confirm --edge 'Fe K'", "xrf-load",
           "xrf-confirm --flag 1 --widths 4.3,5.78,2,1.07 --positions 7045.5,7056,7058,7060.1 "
           "--amplitudes 0.65,0,1,0",
           "xrf-complete", "rixs-load-selective", "rixs-complete --min 7109 --max 7129",
           "rixs-calculate --exc 7115.6 --scale 7.9e-09 --abs-corr 1"})
    ASSERT_EQ(run_cli(at + setup).exit_code, 0) << setup;
  fs::create_directories(ws / "deeper");
  fs::create_directory(out);
  fs::create_directory_symlink(ws, out / "to-ws");
  fs::create_symlink(ws / files::kCalculatedRIXS, out / "link.DAT");
  fs::create_hard_link(ws / files::kRIXSExp, out / "hard.DAT");

  struct Save {
    const char* name;  // of the file it makes beside the work-space
    std::string before, after;  // around the file on the command line
  };
  const std::vector<Save> saves = {
      {"rixs.DAT", "rixs-save '", "'"},
      {"modified.DAT", "rixs-save-modified '", "'"},
      {"plane.png", "rixs-plane --from 7110 --to 7111 --step 1 --png '", "'"},
      {"study.talvern-study", "study-save '", "' --name kept"}};
  const fs::path targets[] = {
      ws / files::kRIXSExp,   ws / files::kCalculatedRIXS, ws / files::kConventionalXAFS,
      ws / ".talvern.lock",   ws / "deeper" / "new.DAT",   ws / "new.DAT",
      out / "to-ws" / "new.DAT",  // a linked folder, the file not made yet
      out / "link.DAT",           // a link to a work-space file
      out / "hard.DAT",           // the same file as the measurement
  };
  for (const Save& save : saves) {
    // Beside the work-space the save is made.
    const fs::path kept = out / save.name;
    CliRun r = run_cli(at + save.before + kept.string() + save.after);
    EXPECT_EQ(r.exit_code, 0) << save.before << "\n" << r.out;
    EXPECT_TRUE(fs::is_regular_file(kept)) << save.before;

    const auto ws_before = tree(ws), out_before = tree(out);
    for (const fs::path& target : targets) {
      r = run_cli(at + save.before + target.string() + save.after);
      EXPECT_EQ(r.exit_code, 1) << save.before << target << "\n" << r.out;
      EXPECT_TRUE(r.out.starts_with("ERROR!!\n" + target.string() + "\n"))
          << save.before << target << "\n" << r.out;
      EXPECT_EQ(tree(ws), ws_before) << save.before << target;
      EXPECT_EQ(tree(out), out_before) << save.before << target;
    }
    // A name relative to the work-space as the current folder.
    r = run_cli(at + save.before + "new.DAT" + save.after, "cd '" + ws.string() + "' && ");
    EXPECT_EQ(r.exit_code, 1) << save.before << "\n" << r.out;
    EXPECT_TRUE(r.out.starts_with("ERROR!!\n")) << save.before << "\n" << r.out;
    EXPECT_FALSE(fs::exists(ws / "new.DAT")) << save.before;
  }
  EXPECT_FALSE(fs::exists(ws / ".talvern.lock"));  // released, not replaced
}

}  // namespace
