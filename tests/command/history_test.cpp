// The history of a work-space: every command of a shell run written as the
// line that does the same, and "replay" running those lines again.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "command/history.h"
#include "support/cli_run.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using talvern::test::CliRun;
using talvern::test::read_file;
using talvern::test::TempDir;

CliRun run_in(const fs::path& ws, const std::string& args) {
  return talvern::test::run_cli_at(TALVERN_CLI_PATH, "--workspace '" + ws.string() + "' " + args);
}

std::string example(const char* name) { return std::string("'") + TALVERN_EXAMPLES_DIR + "/" + name + "'"; }

// The command lines of a history, without their comments.
std::vector<std::string> command_lines(const fs::path& history) {
  std::vector<std::string> lines;
  const std::string text = read_file(history);
  for (std::size_t begin = 0, end; begin < text.size(); begin = end + 1) {
    end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    if (text[begin] != '#') lines.push_back(text.substr(begin, end - begin));
  }
  return lines;
}

void expect_same_dat_files(const fs::path& got, const fs::path& want) {
  const auto g = talvern::test::dat_files(got), w = talvern::test::dat_files(want);
  for (const auto& [name, text] : w) {
    const auto it = g.find(name);
    EXPECT_TRUE(it != g.end() && it->second == text) << name << " differs or is missing";
  }
  EXPECT_EQ(g.size(), w.size());
}

TEST(History, WordsComeBackAsTheyWereWrittenWhateverTheyHold) {
  const std::vector<std::string> words = {"load-xrf", "/tmp/a b/it's \"here\".DAT", "", "--exc",
                                          "7115.6", "$HOME", "back\\slash", "tab\there", "µ"};
  std::vector<talvern::HistoryLine> lines;
  std::string error;
  ASSERT_TRUE(talvern::parse_history(talvern::history_entry(words, 1, "T") +
                                         talvern::history_entry({"construct"}, 0, "T"),
                                     lines, error))
      << error;
  ASSERT_EQ(lines.size(), 2u);
  std::vector<std::string> expected{"talvern-cli"};
  expected.insert(expected.end(), words.begin(), words.end());
  EXPECT_EQ(lines[0].words, expected);
  EXPECT_EQ(lines[0].status, 1);
  EXPECT_EQ(lines[0].line, 2u);
  EXPECT_EQ(lines[1].status, 0);
  EXPECT_FALSE(talvern::parse_history("# x exit 0\nrm -rf /\n", lines, error));
}

// A whole session from the shell, refusals and clicks included, run again
// into an empty work-space, gives every work-space file byte for byte.
TEST(History, AShellSessionReplayedIntoAnEmptyWorkSpaceGivesTheSameFiles) {
  TempDir tmp;
  const fs::path a = tmp.file("first"), b = tmp.file("second");
  // A user's file whose name needs quoting.
  const fs::path odd = tmp.file("my 'scan' (1).DAT");
  fs::copy_file(fs::path(TALVERN_EXAMPLES_DIR) / "Fe_Conventional_XAFS.DAT", odd);
  const std::vector<std::pair<std::string, int>> session = {
      {"construct", 0},
      {"xafs-load", 1},  // refused: nothing loaded yet
      {"load-conv-xafs '" + tmp.file("none.DAT").string() + "'", 1},
      {"load-conv-xafs \"" + odd.string() + "\"", 0},
      {"load-xrf " + example("Fe_XRF_Kbeta.DAT"), 0},
      {"load-exp-rixs " + example("Fe_RIXS_Exc7115.6eV.DAT"), 0},
      {"import-wien2k " + example("Fe_1compo_WIEN2k.DAT"), 0},
      {"xafs-load", 0},
      {"xafs-confirm --edge 'Fe K'", 0},
      {"xafs-click 13", 0},
      {"xafs-confirm --edge 7 --core-energy 7113.8", 0},
      {"xafs-click --energy 7112.123456789", 0},
      {"xrf-load", 0},
      {"xrf-click 5 --lorentzian B", 0},
      {"xrf-confirm --flag 1 --widths 4.3,5.78,2,1.07 --positions 7045.45,7056.7,7058.0,7060.6 "
       "--amplitudes 0.7,0.3,0.1,0.05",
       0},
      {"xrf-fit --exc 7213.8", 0},
      {"xrf-complete", 0},
      {"rixs-load-selective", 0},
      {"rixs-mode-change --min 7108.8 --max 7128.8", 0},
      {"rixs-pick -32", 0},
      {"rixs-show-peak --center 7115.6 --amp 1.0 --width 3.0", 0},
      {"rixs-modify --mode AB --add", 0},
      {"rixs-save-temporarily", 0},
      {"rixs-complete --min 7108.8 --max 7128.8", 0},
      {"rixs-calculate --exc 7115.6 --scale 7.9e-09 --abs-corr 1", 0},
      {"rixs-calculate --exc 7116.2 --compare", 0},  // the factors last used
      {"rixs-comp-exp --calculated", 0},
      {"average --start 7110 --end 7125 --points 5", 0},
      {"rixs-plane --from 7110 --to 7111 --step 0.5 --transfer", 0},
  };
  for (const auto& [args, status] : session)
    ASSERT_EQ(run_in(a, args).exit_code, status) << args;

  const std::vector<std::string> lines = command_lines(a / "TALVERN_History.sh");
  ASSERT_EQ(lines.size(), session.size());
  // Clicks are written as the energy they set; files by their full path.
  EXPECT_TRUE(lines[9].starts_with("talvern-cli xafs-click --energy 71")) << lines[9];
  EXPECT_EQ(lines[11], "talvern-cli xafs-click --energy 7112.123456789");
  EXPECT_EQ(lines[3], "talvern-cli load-conv-xafs '" + tmp.path().string() +
                          "/my '\\''scan'\\'' (1).DAT'");
  EXPECT_EQ(lines[25], "talvern-cli rixs-calculate --exc 7116.2 --scale 7.9e-09 --abs-corr 1 --compare");

  const CliRun again = run_in(b, "replay '" + (a / "TALVERN_History.sh").string() + "'");
  EXPECT_EQ(again.exit_code, 0) << again.out;
  expect_same_dat_files(b, a);
  EXPECT_EQ(command_lines(b / "TALVERN_History.sh"), lines);  // replay is not itself a line
}

TEST(History, ReplayStopsAtTheFirstLineThatEndsOtherwiseAndNamesIt) {
  TempDir tmp;
  const fs::path ws = tmp.file("ws"), history = tmp.file("history.sh");
  talvern::test::write_file(history,
                            "# 2026-01-01T00:00:00Z exit 0\ntalvern-cli construct\n"
                            "# 2026-01-01T00:00:01Z exit 0\ntalvern-cli xafs-load\n"
                            "# 2026-01-01T00:00:02Z exit 0\ntalvern-cli load-xrf " +
                                example("Fe_XRF_Kbeta.DAT") + "\n");
  const CliRun r = run_in(ws, "replay '" + history.string() + "'");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("The replay stopped at line 4 of " + history.string() +
                       ":\nit ended with exit status 1, the history says 0."),
            std::string::npos)
      << r.out;
  EXPECT_TRUE(fs::exists(ws / "RIXS_Calculation_Parameters.DAT"));  // as construct left it
  EXPECT_FALSE(fs::exists(ws / "Exp_Non_Resonant_Emission.DAT"));  // the line after never ran
}

}  // namespace
