#include <gtest/gtest.h>

#include <poll.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/commands.h"
#include "command/shell.h"
#include "support/cli_run.h"
#include "support/killed_steps.h"
#include "support/optim_workspace.h"
#include "support/gzip.h"
#include "support/temp_dir.h"
#include "workspace/file_names.h"
#include "workspace/lock.h"
#include "workspace/parameters.h"
#include "workspace/row_io.h"
#include "xafs/edge_step.h"
#include "xafs/conv_xafs.h"
#include "xafs/edge_table.h"

namespace {

using talvern::test::read_file;
using talvern::test::TempDir;

using talvern::test::CliRun;

CliRun run_cli(const std::string& args, const std::string& shell_prefix = "",
               const char* redirect = " 2>/dev/null") {
  return talvern::test::run_cli_at(TALVERN_CLI_PATH, args, shell_prefix, redirect);
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
                           "import-wien2k-second", "import-general", "xafs-load", "xafs-click",
                           "xafs-confirm", "xafs-edge-from-data", "xafs-complete", "xrf-load",
                           "xrf-click", "xrf-confirm", "xrf-fit", "xrf-rfactor", "xrf-lsq", "xrf-complete",
                           "rixs-load-selective", "rixs-mode-change", "rixs-pick",
                           "rixs-show-peak", "rixs-modify", "rixs-save-temporarily",
                           "rixs-more-change", "rixs-complete", "rixs-save-modified", "rixs-shift",
                           "rixs-calculate", "rixs-comp-exp", "rixs-comp-another", "rixs-save",
                           "average", "study-save", "study-open", "load-exp-plane",
                           "load-exp-cut", "load-exp-herfd", "exp-set", "plane-compare"})
    EXPECT_NE(r.out.find(name), std::string::npos) << name;
}

TEST(TalvernCli, StudyOpenReplacesTheWorkSpaceOnlyWhenTold) {
  TempDir tmp;
  const std::string ws = " --workspace '" + tmp.file("ws").string() + "' ";
  const std::string study = "'" + tmp.file("s.talvern-study").string() + "'";
  ASSERT_EQ(run_cli(ws + "construct").exit_code, 0);
  const std::string params = read_file(tmp.file("ws") / talvern::files::kParameters);
  CliRun r = run_cli(ws + "study-save " + study + " --name 'First try'");
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_NE(r.out.find("The study \"First try\" with 7 files"), std::string::npos) << r.out;
  talvern::test::write_file(tmp.file("ws") / talvern::files::kParameters, "changed\n");

  r = run_cli(ws + "study-open " + study);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("give --replace"), std::string::npos) << r.out;
  EXPECT_EQ(read_file(tmp.file("ws") / talvern::files::kParameters), "changed\n");

  r = run_cli(ws + "study-open " + study + " --replace");
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_EQ(read_file(tmp.file("ws") / talvern::files::kParameters), params);
  // The study brought its history back: what ran after the save is gone,
  // and the opening is its last line.
  const std::string history = read_file(tmp.file("ws") / talvern::files::kHistory);
  EXPECT_NE(history.find("talvern-cli construct\n"), std::string::npos) << history;
  EXPECT_EQ(history.find("study-save"), std::string::npos) << history;
  EXPECT_TRUE(history.ends_with(" study-open " + tmp.file("s.talvern-study").string() + " --replace\n"))
      << history;
  EXPECT_EQ(run_cli(ws + "study-open '" + tmp.file("ws").string() + "' --replace").exit_code, 1);
}

// What killed programs left: a study half opened, temporaries of every kind.
// The next command, whichever it is, first finishes the opening and says so,
// then removes the leftovers; the files of the user's stay.
TEST(TalvernCli, EveryCommandFirstPutsInOrderWhatAKilledProgramLeft) {
  namespace fs = std::filesystem;
  TempDir tmp;
  const talvern::WorkSpace w(tmp.file("ws"));
  const std::string ws = " --workspace '" + w.dir().string() + "' ";
  const fs::path study = tmp.file("s.talvern-study");
  ASSERT_EQ(run_cli(ws + "construct").exit_code, 0);
  ASSERT_EQ(run_cli(ws + "study-save '" + study.string() + "'").exit_code, 0);
  const auto saved = talvern::test::dat_files(w.dir());
  talvern::test::write_file(w.file(talvern::files::kParameters), "changed\n");
  // Killed at each step before its journal (leaving staging folders), then
  // right after it.
  for (std::size_t k = 1; talvern::test::run_stopped_at(k, [&] {
                            talvern::OpenStudy(w, study, true);
                          }) != "journal written";
       ++k)
    ASSERT_LT(k, 100u);
  const std::vector<std::string> stale = {
      ".Calculated_RIXS.DAT.a1B2c3", "..talvern-journal.Zz9Yy8",
      ".talvern-staging.Ab3Cd4/RIXSEXP.DAT",
      "Study_Backups/.Backup_20260101-000000.talvern-study.Qq1Ww2"};
  const std::vector<std::string> kept = {".bashrc.backup", ".My_Notes.DAT.a1B2c3",
                                         "Study_Backups/.notes.txt.a1B2c3"};
  for (const auto& names : {stale, kept})
    for (const std::string& name : names) {
      fs::create_directories((w.dir() / name).parent_path());
      talvern::test::write_file(w.dir() / name, "7000\t1\n");
    }

  CliRun r = run_cli(ws + "study-save '" + tmp.file("t.talvern-study").string() + "'");
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_TRUE(r.out.starts_with("CAUTION!!\nOpening the study \"s\" was interrupted before it "
                                "ended; it has now been finished.\nWhat it replaced is kept in\n " +
                                (w.dir() / "Study_Backups").string()))
      << r.out;
  EXPECT_NE(r.out.find("The study \"t\" with 7 files"), std::string::npos) << r.out;
  EXPECT_EQ(talvern::test::dat_files(w.dir()), saved);
  std::vector<std::string> hidden;
  for (const fs::path& dir : {w.dir(), w.dir() / "Study_Backups"})
    for (const auto& e : fs::directory_iterator(dir))
      if (e.path().filename().string().starts_with("."))
        hidden.push_back(fs::relative(e.path(), w.dir()).string());
  std::sort(hidden.begin(), hidden.end());
  EXPECT_EQ(hidden, (std::vector<std::string>{".My_Notes.DAT.a1B2c3", ".bashrc.backup",
                                               "Study_Backups/.notes.txt.a1B2c3"}));

  // A journal that is none: no command runs until it is removed.
  const fs::path journal = w.file(talvern::files::kJournal);
  talvern::test::write_file(journal, "TALVERN journal\nwhat: x\nstaging: ../..\nstate: finish\n");
  r = run_cli(ws + "construct");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(r.out.starts_with("ERROR!!\n" + journal.string() + "\nis no journal of TALVERN"))
      << r.out;
  EXPECT_EQ(r.out.find("was made"), std::string::npos) << r.out;
  EXPECT_EQ(talvern::test::dat_files(w.dir()), saved);
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

// Bad usage of a known subcommand shows that subcommand's usage only; the
// whole help is for --help and a name the program does not know.
TEST(TalvernCli, VersionAndTheUsageOfOneSubcommand) {
  CliRun r = run_cli("--version");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "talvern-cli 2.0\n");

  const char* stderr_only = " 2>&1 >/dev/null";
  // Fe L3 lies at 707 eV, below what a calculation takes: not in the list.
  // The positions run to "Other...", after the table's and xraylib's edges.
  r = run_cli("--workspace /nonexistent xafs-confirm --edge 'fe l3'", "", stderr_only);
  EXPECT_EQ(r.exit_code, 2);
  const std::string positions = "0.." + std::to_string(talvern::other_edge_position());
  EXPECT_EQ(r.out,
            "talvern-cli: --edge: no edge is named fe l3 (Fe K); give a list position (" +
                positions +
                ") or a name such as \"Fe K\"\n\nusage: talvern-cli [--workspace DIR] "
                "SUBCOMMAND [ARGS]\n"
                "  xafs-confirm [--edge INDEX|NAME]\n"
                "               [--core-energy TEXT]\n"
                "               [--edge-energy E] [--edge-width G]\n"
                "                              edge at list position INDEX (" +
                positions +
                ", -1 none) or named as the list shows it (\"Fe K\", \"pt l3\"), and the typed "
                "core energy (\"Confirm XAFS INFO\"); --edge-energy E and --edge-width G (eV) "
                "for an edge of one's own (\"Other...\", the last position)\n"
                "Run talvern-cli --help for every subcommand.\n");
  r = run_cli("xrf-fit", "", stderr_only);
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.out.find("  xrf-fit --exc TEXT"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("xrf-load"), std::string::npos) << r.out;
  r = run_cli("frobnicate", "", stderr_only);
  EXPECT_NE(r.out.find("xrf-load"), std::string::npos) << r.out;
}

// While another program holds the work-space a command waits about two
// seconds, then refuses to run; one that is given the work-space within
// that time runs.
TEST(TalvernCli, CommandsWaitForTheWorkSpaceLockThenRefuse) {
  TempDir tmp;
  const std::string ws = "--workspace '" + tmp.path().string() + "' ";
  const auto stale = tmp.file(".Calculated_RIXS.DAT.Ab12Cd");
  talvern::test::write_file(stale, "7000\t1");
  talvern::WorkSpaceLock other;
  ASSERT_EQ(other.acquire(talvern::WorkSpace(tmp.path())), talvern::WorkSpaceLock::State::held);

  const auto start = std::chrono::steady_clock::now();
  CliRun r = run_cli(ws + "construct");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1900));
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(r.out.starts_with("CAUTION!! Another TALVERN is using this work-space\n(process " +
                                std::to_string(::getpid()) + " on "))
      << r.out;
  EXPECT_FALSE(std::filesystem::exists(tmp.file(talvern::files::kCalculatedRIXS)));
  EXPECT_TRUE(std::filesystem::exists(stale));

  // The lock is given up once the command has been refused it at least
  // once: the lock file opened a second time is its next try.
  const int watch = ::inotify_init1(IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, tmp.file(talvern::files::kLock).c_str(), IN_OPEN), 0);
  std::FILE* waiting = ::popen(("'" TALVERN_CLI_PATH "' " + ws + "construct >/dev/null").c_str(), "r");
  ASSERT_NE(waiting, nullptr);
  int opened = 0;
  alignas(inotify_event) char events[4096];
  for (pollfd p{watch, POLLIN, 0}; opened < 2 && ::poll(&p, 1, 60000) == 1;) {
    const ssize_t got = ::read(watch, events, sizeof events);
    for (ssize_t at = 0; at < got;) {
      const auto* e = reinterpret_cast<const inotify_event*>(events + at);
      opened += (e->mask & IN_OPEN) != 0;
      at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
    }
  }
  ::close(watch);
  EXPECT_GE(opened, 2);
  other.release();
  const int status = ::pclose(waiting);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(std::filesystem::exists(tmp.file(talvern::files::kCalculatedRIXS)));
  EXPECT_FALSE(std::filesystem::exists(stale));
  EXPECT_FALSE(std::filesystem::exists(tmp.file(talvern::files::kLock)));
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

talvern::CalcParameters parameters_in(const std::filesystem::path& dir) {
  talvern::CalcParameters p;
  p.gamma = p.core_energy = -1;
  talvern::read_parameters(dir / talvern::files::kParameters, p);
  return p;
}

// Both setting steps from the shell, in the order of the workflow, on the
// sample files.
TEST(TalvernCli, XafsAndXrfSettingsRunFromTheShell) {
  TempDir tmp;
  const auto dir = tmp.file("ws");
  const std::string ws = "--workspace '" + dir.string() + "' ";
  const std::string examples = std::string("'") + TALVERN_EXAMPLES_DIR + "/";
  ASSERT_EQ(run_cli(ws + "construct").exit_code, 0);
  ASSERT_EQ(run_cli(ws + "load-conv-xafs " + examples + "Fe_Conventional_XAFS.DAT'").exit_code, 0);
  ASSERT_EQ(run_cli(ws + "load-xrf " + examples + "Fe_XRF_Kbeta.DAT'").exit_code, 0);
  ASSERT_EQ(run_cli(ws + "import-general " + examples + "Fe_general_XY1Y2.DAT'").exit_code, 0);

  // "Setting by XAFS"
  CliRun r = run_cli(ws + "xafs-load");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(r.out.starts_with("Conventional XAFS data were introduced and \n")) << r.out;
  const std::string params = read_file(dir / talvern::files::kParameters);
  r = run_cli(ws + "xafs-edge-from-data");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(r.out.starts_with("The steepest rise of the spectrum is at 7113.66 eV.\n")) << r.out;
  EXPECT_EQ(read_file(dir / talvern::files::kParameters), params);  // a proposal only

  r = run_cli(ws + "xafs-confirm --edge ' fe  K' --core-energy 7113.50");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(r.out.starts_with("Absorption edge was set to Fe K-edge .\n"
                                "The core energy is 7113.50eV,\n")) << r.out;
  EXPECT_EQ(parameters_in(dir).core_energy, 7113.5);

  // xraylib's edges by name in any case or by position (the history names
  // them, as their positions follow xraylib), and an edge of one's own.
  const auto pt = talvern::edge_at(*talvern::edge_named("Pt L3"));
  ASSERT_TRUE(pt);
  r = run_cli(ws + "xafs-confirm --edge 'PT l3'");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(r.out.starts_with("Absorption edge was set to Pt L3-edge .\n")) << r.out;
  EXPECT_EQ(parameters_in(dir).core_energy, pt->core_energy);
  EXPECT_EQ(parameters_in(dir).gamma, pt->lifetime);
  const int w_l2 = *talvern::edge_named("W L2-edge");
  r = run_cli(ws + "xafs-confirm --edge " + std::to_string(w_l2));
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(r.out.starts_with("Absorption edge was set to W L2-edge .\n")) << r.out;
  EXPECT_EQ(parameters_in(dir).core_energy, talvern::edge_at(w_l2)->core_energy);
  r = run_cli(ws + "xafs-confirm --edge-energy 11000.5 --edge-width 4.25");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(r.out.starts_with("Absorption edge was set to Other... .\n"
                                "The core energy is 11000.5eV,\nand lifetime-broadening is 4.25eV."))
      << r.out;
  EXPECT_EQ(parameters_in(dir).core_energy, 11000.5);
  EXPECT_EQ(parameters_in(dir).gamma, 4.25);
  EXPECT_EQ(read_file(dir / talvern::files::kEmissionExcEnergy), "11100.5");
  const std::string history = read_file(dir / talvern::files::kHistory);
  EXPECT_NE(history.find("xafs-confirm --edge 'W L2-edge' --core-energy ''\n"), std::string::npos) << history;
  EXPECT_NE(history.find(
                "xafs-confirm --edge Other... --core-energy '' --edge-energy 11000.5 --edge-width 4.25\n"),
            std::string::npos)
      << history;
  // An energy a calculation does not take: refused, nothing written.
  r = run_cli(ws + "xafs-confirm --edge-energy 800 --edge-width 4.25");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(r.out.starts_with("ERROR!!\n\"Other...\" needs an edge energy")) << r.out;
  EXPECT_EQ(parameters_in(dir).core_energy, 11000.5);

  r = run_cli(ws + "xafs-confirm --edge +7");  // a list position, as every integer option takes it
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(r.out.starts_with("Absorption edge was set to Fe K-edge .\n"
                                "The core energy is 7114.eV,\n"
                                "and lifetime-broadening is 1.25eV.\n")) << r.out;
  EXPECT_EQ(parameters_in(dir).gamma, 1.25);
  EXPECT_EQ(parameters_in(dir).core_energy, 7114);
  EXPECT_EQ(read_file(dir / talvern::files::kEmissionExcEnergy), "7214");
  EXPECT_TRUE(std::filesystem::exists(dir / talvern::files::kSelectiveReading));

  // A negative click is a number: x_l = -60 on 7050 ... 7300 eV.
  r = run_cli(ws + "xafs-click -60");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "The core energy was corrected to 7100.eV.\nPlease confirm the value.\n");
  EXPECT_EQ(parameters_in(dir).core_energy, 7100);
  r = run_cli(ws + "xafs-click 97");  // outside the frame: nothing at all
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(parameters_in(dir).core_energy, 7100);
  r = run_cli(ws + "xafs-complete");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(r.out.starts_with("The parameter setting by XAFS was succesively\n")) << r.out;

  // "Setting by XRF"
  r = run_cli(ws + "xrf-load");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("\nset to 7214. eV.\n"), std::string::npos) << r.out;
  r = run_cli(ws + "xrf-click -96 --lorentzian C");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(r.out.starts_with("The peak position of the Lorentzian was changed.\n")) << r.out;
  r = run_cli(ws + "xrf-click --lorentzian=A -97");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "");

  r = run_cli(ws + "xrf-confirm --flag 1 --widths 8,5.5,2,1 --positions 7045,7056,7058.8,7060.1 "
                   "--amplitudes 0.7,0.3,0.15,0.1");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(r.out.starts_with("The parameters of the Lorentzians were confirmed.\n")) << r.out;
  talvern::LorentzSet confirmed;
  ASSERT_EQ(talvern::read_lorentz(dir / talvern::files::kLorentzTemp, confirmed), 13u);
  EXPECT_EQ(confirmed.two_component, 1);
  EXPECT_EQ(confirmed.width, (std::array<double, 4>{8, 5.5, 2, 1}));
  EXPECT_EQ(confirmed.position, (std::array<double, 4>{7045, 7056, 7058.8, 7060.1}));
  EXPECT_EQ(confirmed.amplitude, (std::array<double, 4>{0.7, 0.3, 0.15, 0.1}));

  r = run_cli(ws + "xrf-fit --exc 7214");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(r.out.starts_with("A fitting curve was calculated.")) << r.out;
  EXPECT_GT(talvern::read_rows(dir / talvern::files::kNonResonantEmission, 4).rows, 200u);

  r = run_cli(ws + "xrf-rfactor");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(r.out.starts_with("R-factor was calculated: ") && r.out.ends_with(" %\n")) << r.out;
  EXPECT_TRUE(std::filesystem::exists(dir / talvern::files::kRFactorXRF));

  r = run_cli(ws + "xrf-complete");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(r.out.starts_with("The final-state function was successfully generated.")) << r.out;
  EXPECT_EQ(read_file(dir / talvern::files::kLorentz),
            read_file(dir / talvern::files::kLorentzTemp));
}

// The least-squares fit of the sample XRF from the README's hand-tuned
// Lorentzians: a lower R-factor, which the confirmed values then give
// through "Fit the Lorentzians" and "Calculate R-factor" as well.
TEST(TalvernCli, LeastSquaresFitBeatsTheHandTunedSampleSetting) {
  TempDir tmp;
  const auto dir = tmp.file("ws");
  const std::string ws = "--workspace '" + dir.string() + "' ";
  const std::string examples = std::string("'") + TALVERN_EXAMPLES_DIR + "/";
  ASSERT_EQ(run_cli(ws + "construct").exit_code, 0);
  ASSERT_EQ(run_cli(ws + "load-xrf " + examples + "Fe_XRF_Kbeta.DAT'").exit_code, 0);
  ASSERT_EQ(run_cli(ws + "xafs-confirm --edge 'Fe K' --core-energy 7113.8").exit_code, 0);
  ASSERT_EQ(run_cli(ws + "xrf-load").exit_code, 0);
  EXPECT_EQ(run_cli(ws + "xrf-lsq").exit_code, 1);  // nothing confirmed yet
  ASSERT_EQ(run_cli(ws + "xrf-confirm --flag 1 --widths 4.3,5.78,2,1.07 --positions "
                         "7045.5,7056,7058,7060.1 --amplitudes 0.65,0,1,0").exit_code, 0);
  ASSERT_EQ(run_cli(ws + "xrf-fit --exc 7213.8").exit_code, 0);
  ASSERT_EQ(run_cli(ws + "xrf-rfactor").exit_code, 0);
  const double hand = talvern::read_rows(dir / talvern::files::kRFactorXRF, 1).at(0, 0);
  EXPECT_NEAR(hand, 6.97, 0.01);

  const std::string confirmed = read_file(dir / talvern::files::kLorentzTemp);
  CliRun r = run_cli(ws + "xrf-lsq --fix A.width --background");
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_NE(r.out.find("\nA: position 7045."), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(", width 4.3 eV (fixed), amplitude 0."), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\nC: position 7058.0"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("\nB:"), std::string::npos) << r.out;  // amplitude 0: not in use
  EXPECT_NE(r.out.find("\nBackground: 0.0"), std::string::npos) << r.out;
  EXPECT_EQ(read_file(dir / talvern::files::kLorentzTemp), confirmed);  // no --confirm

  r = run_cli(ws + "xrf-lsq --confirm");
  EXPECT_EQ(r.exit_code, 0) << r.out;
  const std::size_t line = r.out.rfind("\nR-Factor: ");
  ASSERT_NE(line, std::string::npos) << r.out;
  EXPECT_TRUE(r.out.ends_with("\n"));
  const double fitted = std::stod(r.out.substr(line + 11));
  EXPECT_LT(fitted, hand - 0.5);
  EXPECT_NE(r.out.find("\nThe parameters of the Lorentzians were confirmed.\n"), std::string::npos);
  EXPECT_NE(read_file(dir / talvern::files::kLorentzTemp), confirmed);
  ASSERT_EQ(run_cli(ws + "xrf-fit --exc 7213.8").exit_code, 0);
  ASSERT_EQ(run_cli(ws + "xrf-rfactor").exit_code, 0);
  EXPECT_NEAR(talvern::read_rows(dir / talvern::files::kRFactorXRF, 1).at(0, 0), fitted, 1e-4);
}

TEST(TalvernCli, SettingSubcommandsRefuseBadUsage) {
  TempDir tmp;
  const std::string ws = "--workspace '" + tmp.path().string() + "' ";
  const std::string lists = " --widths 1,2,3,4 --positions 1,2,3,4 --amplitudes 1,2,3,4";
  const std::vector<std::string> bad = {
      "xafs-load 1", "xafs-click", "xafs-click 1.5", "xafs-click 5 6", "xafs-click -x",
      "xafs-confirm --edge", "xafs-confirm --edge Fe",
      "xafs-confirm --edge " + std::to_string(talvern::other_edge_position() + 1),
      "xafs-confirm --edge -2", "xafs-confirm --edge 1 --edge 2", "xafs-confirm --bogus 1",
      "xafs-confirm 7", "xafs-confirm --edge 'Fe L3'", "xafs-edge-from-data 1",
      "xafs-complete --edge 7", "xrf-load -1", "xrf-click 5",
      "xrf-click 5 --lorentzian E", "xrf-click 5 --lorentzian a", "xrf-click --lorentzian A",
      "xrf-confirm" + lists, "xrf-confirm --flag 2" + lists, "xrf-confirm --flag 1" + lists + " 7",
      "xrf-confirm --flag 1 --widths 1,2,3 --positions 1,2,3,4 --amplitudes 1,2,3,4",
      "xrf-confirm --flag 1 --widths 1,2,3,4 --positions 1,2,3,4,5 --amplitudes 1,2,3,4",
      "xrf-confirm --flag 1 --widths 1,2,3,4 --positions 1,2,3,4",
      "xrf-fit", "xrf-fit 7214", "xrf-fit --exc", "xrf-rfactor 1", "xrf-complete --exc 1",
      "xrf-lsq 1", "xrf-lsq --fix E", "xrf-lsq --fix A.pos", "xrf-lsq --fix A,", "xrf-lsq --fix",
      "xrf-lsq --background=1",
      "rixs-load-selective 1", "rixs-mode-change --min 1", "rixs-pick", "rixs-pick 1.5",
      "rixs-show-peak --center 1 --amp 1", "rixs-modify --mode A", "rixs-modify --mode C --add",
      "rixs-modify --mode A --add --subtract", "rixs-modify --mode A --add=1",
      "rixs-shift 2", "rixs-calculate --scale 1", "rixs-comp-exp 1",
      "rixs-comp-another", "rixs-save", "rixs-save-modified a b"};
  for (const auto& args : bad) EXPECT_EQ(run_cli(ws + args).exit_code, 2) << args;
  EXPECT_TRUE(std::filesystem::is_empty(tmp.path()));  // nothing ran
}

// A scratch work-space taken through the tour on the sample data up to
// "Load Selective XAFS" of the RIXS Simulation dialog.
class TalvernCliTour : public ::testing::Test {
 protected:
  TempDir tmp;
  const std::filesystem::path dir = tmp.file("ws");
  const std::string ws = "--workspace '" + dir.string() + "' ";
  const std::string examples = std::string("'") + TALVERN_EXAMPLES_DIR + "/";

  void SetUp() override {
    const std::vector<std::string> tour = {
        "construct", "load-conv-xafs " + examples + "Fe_Conventional_XAFS.DAT'",
        "load-xrf " + examples + "Fe_XRF_Kbeta.DAT'",
        "load-exp-rixs " + examples + "Fe_RIXS_Exc7115.6eV.DAT'",
        "import-wien2k " + examples + "Fe_1compo_WIEN2k.DAT'", "xafs-load",
        "xafs-confirm --edge 7 --core-energy 7113.8", "xrf-load",
        "xrf-confirm --flag 1 --widths 4.3,5.78,2,1.07 --positions 7045.5,7056,7058,7060.1 "
        "--amplitudes 0.65,0,1,0",
        "xrf-complete", "rixs-load-selective"};
    for (const std::string& setup : tour)
      ASSERT_EQ(run_cli(ws + setup).exit_code, 0) << setup;
  }
};

// The number after `label` on the last line of `out` that holds it; NaN
// when none does.
double number_after(const std::string& out, const std::string& label) {
  const std::size_t at = out.rfind(label);
  if (at == std::string::npos) return std::nan("");
  return std::strtod(out.c_str() + at + label.size(), nullptr);
}

// The RIXS Simulation step from the shell on the sample data: the sample
// selective XAFS with one Lorentzian added at the pre-edge reproduces the
// sample measurement.
TEST_F(TalvernCliTour, RixsSimulationRunsFromTheShellAndReachesTheSampleMeasurement) {
  CliRun r = run_cli(ws + "rixs-mode-change --min 7100 --max 7128.8");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "INPUT ERROR!!\nCheck the min. and max. energy of the display region.\n");
  EXPECT_EQ(run_cli(ws + "rixs-mode-change --min 7108.8 --max 7128.8").exit_code, 0);
  r = run_cli(ws + "rixs-pick -32");
  EXPECT_TRUE(r.out.starts_with("Energy was set to 7115.6 eV.\n")) << r.out;
  for (const char* step : {"rixs-show-peak --center 7115.6 --amp 1.0 --width 3.0",
                           "rixs-modify --mode AB --add", "rixs-save-temporarily",
                           "rixs-complete --min 7108.8 --max 7128.8"})
    EXPECT_EQ(run_cli(ws + step).exit_code, 0) << step;

  r = run_cli(ws + "rixs-calculate --exc 7115.6 --scale 7.9e-09 --abs-corr 1");
  EXPECT_TRUE(r.out.starts_with("Calculated RIXS spectrum was shown.\n")) << r.out;
  r = run_cli(ws + "rixs-comp-exp --calculated");
  EXPECT_TRUE(r.out.starts_with("Experimental RIXS (red) and calculated RIXS (blue) were\n"))
      << r.out;
  const auto measured = talvern::read_rows(dir / talvern::files::kRIXSExp, 2);
  const auto calculated = talvern::read_rows(dir / talvern::files::kCalculatedRIXS, 4);
  ASSERT_EQ(measured.rows, 241u);
  ASSERT_EQ(calculated.rows, measured.rows);
  double diff = 0, sum = 0;
  for (std::size_t k = 0; k < measured.rows; ++k) {
    EXPECT_EQ(calculated.at(k, 0), measured.at(k, 0));
    diff += std::fabs(calculated.at(k, 1) - measured.at(k, 1));
    sum += measured.at(k, 1);
  }
  EXPECT_LT(diff / sum, 0.05);  // within the noise of the sample
  // The message ends with that R-factor, over the common emission energies.
  const std::size_t last_line = r.out.rfind('\n', r.out.size() - 2);
  ASSERT_NE(last_line, std::string::npos);
  EXPECT_TRUE(r.out.substr(last_line + 1).starts_with("R-Factor: ")) << r.out;
  EXPECT_NEAR(number_after(r.out, "\nR-Factor: "), 100 * diff / sum, 1e-5 * 100 * diff / sum) << r.out;

  const auto saved = tmp.file("calculated.DAT");
  r = run_cli(ws + "rixs-save '" + saved.string() + "'");
  EXPECT_EQ(r.out, "Calculated RIXS data were saved as " + saved.string() + ".\n");
  EXPECT_EQ(read_file(saved), read_file(dir / talvern::files::kCalculatedRIXS));
  r = run_cli(ws + "rixs-comp-another '" + tmp.file("missing.DAT").string() + "'");
  EXPECT_EQ(r.exit_code, 1);  // reported on standard error
}

// The measured set from the shell on the sample data: three cuts and a
// HERFD loaded, listed, compared with the imported selective XAFS and
// changed; "Compare" at the cut of the measured RIXS gives the R-factor
// "Comp. Exp. RIXS" gives there.
TEST_F(TalvernCliTour, MeasuredSetIsLoadedListedComparedAndChanged) {
  ASSERT_EQ(run_cli(ws + "rixs-complete --min 7108.8 --max 7128.8").exit_code, 0);

  CliRun r = run_cli(ws + "plane-compare");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(r.out.starts_with("ERROR!!\nThe measured set (RIXS_Plane_Exp.DAT) is empty")) << r.out;
  EXPECT_EQ(run_cli(ws + "load-exp-cut " + examples + "Fe_RIXS_Cut_7113eV.DAT'").exit_code, 2);
  EXPECT_EQ(run_cli(ws + "load-exp-herfd " + examples + "Fe_HERFD_Em7058eV.DAT'").exit_code, 2);
  for (const char* load : {"load-exp-cut Fe_RIXS_Cut_7118eV.DAT' --exc 7118",
                           "load-exp-cut Fe_RIXS_Exc7115.6eV.DAT' --exc 7115.6",
                           "load-exp-cut Fe_RIXS_Cut_7113eV.DAT' --exc 7113",
                           "load-exp-herfd Fe_HERFD_Em7058eV.DAT' --emission 7058"}) {
    const std::string line = load;
    const std::size_t space = line.find(' ');
    r = run_cli(ws + line.substr(0, space + 1) + examples + line.substr(space + 1));
    EXPECT_EQ(r.exit_code, 0) << load << "\n" << r.out;
  }
  EXPECT_NE(r.out.find("The measured HERFD at 7058 eV (121 points)\njoined the measured set."),
            std::string::npos) << r.out;
  r = run_cli(ws + "exp-set");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "The measured set (RIXS_Plane_Exp.DAT) holds\n"
                   "3 emission spectra and 1 HERFD, 844 points:\n"
                   "exc   7113 eV   241 points   7020 ... 7080 eV\n"
                   "exc   7115.6 eV   241 points   7020 ... 7080 eV\n"
                   "exc   7118 eV   241 points   7020 ... 7080 eV\n"
                   "herfd 7058 eV   121 points   7105 ... 7135 eV\n");

  r = run_cli(ws + "plane-compare --transfer");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(r.out.starts_with("The model was compared with 844 measured points\n"
                                "in RIXS_Plane_Compare.DAT.\n")) << r.out;
  // One line per group in the set's order, the whole set's last.
  std::vector<std::string> labels;
  for (std::size_t at = r.out.find("R-Factor"); at != std::string::npos;
       at = r.out.find("R-Factor", at + 1))
    labels.push_back(r.out.substr(at, r.out.find(": ", at) + 2 - at));
  EXPECT_EQ(labels, (std::vector<std::string>{"R-Factor at 7113 eV: ", "R-Factor at 7115.6 eV: ",
                                              "R-Factor at 7118 eV: ", "R-Factor of HERFD at 7058 eV: ",
                                              "R-Factor: "})) << r.out;
  EXPECT_TRUE(r.out.ends_with("\n")) << r.out;
  EXPECT_EQ(r.out.find("\n", r.out.find("\nR-Factor: ") + 1), r.out.size() - 1) << r.out;
  const double at_cut = number_after(r.out, "R-Factor at 7115.6 eV: ");
  EXPECT_GT(at_cut, 40);  // the imported spectrum misses the pre-edge peak
  const std::string history = read_file(dir / talvern::files::kHistory);
  EXPECT_TRUE(history.ends_with("\ntalvern-cli plane-compare --transfer\n")) << history;
  const auto compared = talvern::read_rows(dir / talvern::files::kPlaneCompare, 6, 200000);
  ASSERT_EQ(compared.rows, 844u);
  EXPECT_EQ(compared.at(0, 1), 7113.0 - 7020.0);  // the energy transfer at the lowest emission energy

  ASSERT_EQ(run_cli(ws + "rixs-calculate --exc 7115.6").exit_code, 0);
  r = run_cli(ws + "rixs-comp-exp --calculated");
  EXPECT_NEAR(number_after(r.out, "\nR-Factor: "), at_cut, 1e-5 * at_cut) << r.out;

  // Removing a group the set does not hold changes nothing.
  const std::string stored = read_file(dir / talvern::files::kPlaneExp);
  r = run_cli(ws + "exp-set --remove exc:7120");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "ERROR!!\nThe measured set holds no emission spectrum at 7120 eV,\n"
                   "so nothing was removed.\n");
  EXPECT_EQ(read_file(dir / talvern::files::kPlaneExp), stored);
  EXPECT_EQ(run_cli(ws + "exp-set --remove 7113").exit_code, 1);
  r = run_cli(ws + "exp-set --remove herfd:7058");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("holds 3 emission spectra and 0 HERFDs, 723 points."), std::string::npos)
      << r.out;

  // A plane replaces the emission spectra; --clear empties the set.
  const auto plane = tmp.file("plane.DAT");
  talvern::test::write_file(plane, "7110 7050 1\n7110 7051 2\n7111 7050 3\n");
  EXPECT_EQ(run_cli(ws + "load-exp-plane '" + plane.string() + "'").exit_code, 0);
  EXPECT_NE(run_cli(ws + "exp-set").out.find("2 emission spectra and 0 HERFDs, 3 points:\n"
                                              "exc   7110 eV   2 points   7050 ... 7051 eV\n"),
            std::string::npos);
  r = run_cli(ws + "exp-set --clear");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "The measured set (RIXS_Plane_Exp.DAT) was emptied.\n");
  EXPECT_EQ(run_cli(ws + "plane-compare").exit_code, 1);
}

// Every entry under `dir` with its content, or where a link leads; the
// history and the lock, which every run changes, left out.
std::map<std::string, std::string> tree(const std::filesystem::path& dir) {
  std::map<std::string, std::string> all;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
    const std::string name = e.path().lexically_relative(dir).string();
    if (name == talvern::files::kHistory || name == ".talvern.lock") continue;
    all[name] = e.is_symlink()        ? "-> " + std::filesystem::read_symlink(e.path()).string()
                : e.is_regular_file() ? read_file(e.path())
                                      : "(folder)";
  }
  return all;
}

// Every save of a user's file from the shell, into the work-space by each
// way there is: refused with the file named, exit 1, nothing written.
TEST_F(TalvernCliTour, NoSaveWritesIntoTheWorkSpace) {
  namespace fs = std::filesystem;
  namespace files = talvern::files;
  for (const char* step : {"rixs-complete --min 7109 --max 7129",
                           "rixs-calculate --exc 7115.6 --scale 7.9e-09 --abs-corr 1"})
    ASSERT_EQ(run_cli(ws + step).exit_code, 0) << step;
  const fs::path out = tmp.file("out");
  fs::create_directories(dir / "deeper");
  fs::create_directory(out);
  fs::create_directory_symlink(dir, out / "to-ws");
  fs::create_symlink(dir / files::kCalculatedRIXS, out / "link.DAT");
  fs::create_hard_link(dir / files::kRIXSExp, out / "hard.DAT");

  struct Save {
    const char* name;           // of the file it makes beside the work-space
    std::string before, after;  // around the file on the command line
  };
  const std::vector<Save> saves = {
      {"rixs.DAT", "rixs-save '", "'"},
      {"modified.DAT", "rixs-save-modified '", "'"},
      {"plane.png", "rixs-plane --from 7110 --to 7111 --step 1 --png '", "'"},
      {"study.talvern-study", "study-save '", "' --name kept"}};
  const fs::path targets[] = {
      dir / files::kRIXSExp,   dir / files::kCalculatedRIXS, dir / files::kConventionalXAFS,
      dir / ".talvern.lock",   dir / "deeper" / "new.DAT",   dir / "new.DAT",
      out / "to-ws" / "new.DAT",  // a linked folder, the file not made yet
      out / "link.DAT",           // a link to a work-space file
      out / "hard.DAT",           // the same file as the measurement
  };
  for (const Save& save : saves) {
    // Beside the work-space the save is made.
    const fs::path kept = out / save.name;
    CliRun r = run_cli(ws + save.before + kept.string() + save.after);
    EXPECT_EQ(r.exit_code, 0) << save.before << "\n" << r.out;
    EXPECT_TRUE(fs::is_regular_file(kept)) << save.before;

    const auto ws_before = tree(dir), out_before = tree(out);
    for (const fs::path& target : targets) {
      r = run_cli(ws + save.before + target.string() + save.after);
      EXPECT_EQ(r.exit_code, 1) << save.before << target << "\n" << r.out;
      EXPECT_TRUE(r.out.starts_with("ERROR!!\n" + target.string() + "\n"))
          << save.before << target << "\n" << r.out;
      EXPECT_EQ(tree(dir), ws_before) << save.before << target;
      EXPECT_EQ(tree(out), out_before) << save.before << target;
    }
    // A name relative to the work-space as the current folder.
    r = run_cli(ws + save.before + "new.DAT" + save.after, "cd '" + dir.string() + "' && ");
    EXPECT_EQ(r.exit_code, 1) << save.before << "\n" << r.out;
    EXPECT_TRUE(r.out.starts_with("ERROR!!\n")) << save.before << "\n" << r.out;
    EXPECT_FALSE(fs::exists(dir / "new.DAT")) << save.before;
  }
  EXPECT_FALSE(fs::exists(dir / ".talvern.lock"));  // released, not replaced
}

// "Average" from the shell: the energies default to the range the dialog
// opens with, and without --points no window is selected, so it refuses.
TEST(TalvernCli, AverageTakesTheOpeningRangeAndNeedsAWindow) {
  TempDir tmp;
  const std::string ws = "--workspace '" + tmp.path().string() + "' ";
  talvern::test::write_file(tmp.file(talvern::files::kXAFSMinMax), "7000\t7010\t0\t10000\n");
  std::string rows;
  for (int j = 0; j <= 10; ++j) rows += std::to_string(7000 + j) + "\t" + std::to_string(j % 2) + "\t1\n";
  const auto copy = tmp.file(talvern::files::kSelectiveForRIXSTemp);
  talvern::test::write_file(copy, rows);

  for (const char* bad : {"average --points 7", "average --points", "average 5", "average --width 5"})
    EXPECT_EQ(run_cli(ws + bad).exit_code, 2) << bad;
  CliRun r = run_cli(ws + "average");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "ERROR!!\nPlease check the input values.\n");
  EXPECT_EQ(read_file(copy), rows);

  r = run_cli(ws + "average --points 5 --start 7002.5");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "From 7002.5 eV to 7010. eV,5 points\naveraging was successfully done.\n"
                   "The matrix was employed from i=2 to 10.\n");
  EXPECT_NE(read_file(copy), rows);
}


// "Optimization" from the shell: the two read-only boxes follow the message,
// and a run without a repetition count fails as the dialog's does.
TEST(TalvernCli, OptimizePrintsTheBoxesAfterTheMessage) {
  TempDir tmp;
  const talvern::WorkSpace space(tmp.path());
  talvern::test::make_optim_workspace(space, false);
  const std::string ws = "--workspace '" + tmp.path().string() + "' ";

  for (const char* bad : {"optimize --repetitions 4", "optimize --repetitions 01",
                          "optimize --repetitions", "optimize --steps 1"})
    EXPECT_EQ(run_cli(ws + bad).exit_code, 2) << bad;
  CliRun r = run_cli(ws + "optimize --exc 7116");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "ERROR!!\nPlease check the INPUT conditions (e.g., Number of\nReputations, "
                   "Excitation Energy, Energy range to\ncalculate...)\n"
                   "Number of Compo.: \nR-Factor: \n");

  r = run_cli(ws + "optimize --repetitions 2 --exc 7116 --end 7113 --step 0.5");
  EXPECT_EQ(r.exit_code, 0);
  const std::string done = "Optimization was done: the calculated range is from\n"
                           "7110. eV to 7113eV (number of reputations = 2 ).\n"
                           "Number of Compo.: 1\nR-Factor: ";
  ASSERT_EQ(r.out.substr(0, done.size()), done) << r.out;
  EXPECT_GT(std::stod(r.out.substr(done.size())), 0);
  EXPECT_EQ(r.out.back(), '\n');
}

TEST(TalvernCli, ColumnOptionsReadTheTransmissionScanAsTheConventionalXAFS) {
  TempDir tmp;
  const std::string ws = "--workspace '" + tmp.file("ws").string() + "' ";
  const std::string scan = std::string("'") + TALVERN_EXAMPLES_DIR + "/Fe_K_transmission_scan.dat' ";
  // Without a work-space nothing is written, and the exit status says so.
  CliRun r = run_cli(ws + "load-conv-xafs " + scan + "--columns '1,ln(4/5)' --kev --skip-headers");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(r.out.ends_with("CAUTION!! The work-space does not exist, so nothing was written. "
                              "Press Construct Work-Space first.\n")) << r.out;

  run_cli(ws + "construct");
  EXPECT_EQ(run_cli(ws + "load-conv-xafs " + scan).exit_code, 1);
  r = run_cli(ws + "load-conv-xafs " + scan + "--columns '1,ln(4/5)' --kev --skip-headers");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "Conventional XAFS data were introduced into \nC:\\TALVERN_WORK_SPACE.\n"
                   "Columns: energy = c1 (keV -> eV), intensity = ln(c4/c5)\n");
  // ln(I0/I1) is the conventional XAFS sample plus 0.25.
  const talvern::RowsRead xafs =
      talvern::read_rows(tmp.file("ws") / talvern::files::kConventionalXAFS, 2);
  const talvern::RowsRead sample =
      talvern::read_rows(std::filesystem::path(TALVERN_EXAMPLES_DIR) / "Fe_Conventional_XAFS.DAT", 2);
  ASSERT_EQ(xafs.rows, sample.rows);
  for (std::size_t i = 0; i < xafs.rows; ++i) {
    EXPECT_EQ(xafs.at(i, 0), sample.at(i, 0));
    EXPECT_NEAR(xafs.at(i, 1), sample.at(i, 1) + 0.25, 2e-5);
  }
  EXPECT_EQ(run_cli(ws + "load-conv-xafs " + scan + "--columns 1,ln4").exit_code, 2);

  // Normalised by the edge step, the offset of 0.25 falls away: the step is
  // the sample's, printed on a line of its own and the line in the history.
  r = run_cli(ws + "xafs-load --normalise edge-step --e0 7112 --flatten");
  EXPECT_EQ(r.exit_code, 0);
  const std::size_t at = r.out.find("\nEdge step: ");
  ASSERT_NE(at, std::string::npos) << r.out;
  talvern::EdgeStepRequest request;
  request.e0 = 7112;
  const auto fit = talvern::fit_edge_step(sample.values.data(), sample.rows, request);
  ASSERT_TRUE(fit.fit);
  EXPECT_NEAR(std::stod(r.out.substr(at + 12)), fit.fit->step, 1e-5 * fit.fit->step);
  const std::string history = read_file(tmp.file("ws") / talvern::files::kHistory);
  EXPECT_TRUE(history.ends_with("talvern-cli xafs-load --normalise edge-step --e0 7112 --flatten\n"))
      << history;
  EXPECT_EQ(run_cli(ws + "xafs-load --normalise peak").exit_code, 2);
}

// The column import holds no more than the rows it keeps: a file of 256 MB,
// whose part past the rows was never written (a sparse file), loads its
// first 5000 rows under an address-space limit of 64 MB.
TEST(TalvernCli, ColumnImportOfAHugeFileTakesTheMemoryOfItsRows) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves more address space than the limit";
#endif
  TempDir tmp;
  const std::string ws = "--workspace '" + tmp.file("ws").string() + "' ";
  ASSERT_EQ(run_cli(ws + "construct").exit_code, 0);
  std::string scan = "# E I0 I1\n";
  for (int i = 0; i < 5001; ++i) scan += std::to_string(7000 + i) + " 3 1.5\n";
  const auto file = tmp.file("huge.dat");
  talvern::test::write_file(file, scan);
  std::filesystem::resize_file(file, std::uintmax_t{256} << 20);
  const CliRun r = run_cli(ws + "load-conv-xafs '" + file.string() + "' --columns 1,2/3 --skip-headers",
                           "ulimit -v 65536; ");
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_TRUE(r.out.starts_with("CAUTION!!\nThe file holds more than 5000 pairs;")) << r.out;
  EXPECT_EQ(talvern::read_rows(tmp.file("ws") / talvern::files::kConventionalXAFS, 2).rows, 5000u);
}

// Repeated scans given as several FILE arguments are one load, written to
// the history as one line that gives the same files again.
TEST(TalvernCli, SeveralFilesAreMergedAndTheirHistoryLineReplaysThem) {
  TempDir tmp;
  const std::filesystem::path first = tmp.file("first"), second = tmp.file("second");
  const std::filesystem::path a = tmp.file("a.DAT"), b = tmp.file("b.DAT");
  std::filesystem::copy_file(std::filesystem::path(TALVERN_EXAMPLES_DIR) / "Fe_Conventional_XAFS.DAT", a);
  // The same scan with the monochromator 0.5 eV off.
  const talvern::RowsRead sample = talvern::read_rows(a, 2);
  ASSERT_GT(sample.rows, 10u);
  std::vector<double> shifted(sample.values.begin(), sample.values.begin() + 2 * sample.rows);
  for (std::size_t i = 0; i < sample.rows; ++i) shifted[2 * i] += 0.5;
  ASSERT_EQ(talvern::write_rows(b, shifted.data(), sample.rows, 2), talvern::WriteStatus::ok);

  const std::string ws = "--workspace '" + first.string() + "' ";
  const std::string both = " '" + a.string() + "' '" + b.string() + "'";
  ASSERT_EQ(run_cli(ws + "construct").exit_code, 0);
  CliRun r = run_cli(ws + "load-conv-xafs" + both);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("Merged 2 scans: a.DAT, b.DAT;"), std::string::npos) << r.out;
  r = run_cli(ws + "load-conv-xafs" + both + " --align");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("Merged 2 scans: a.DAT, b.DAT (shifted by -0.5 eV);"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("mean standard deviation\nbetween scans 0."), std::string::npos) << r.out;
  // Aligned, the two are one scan: the mean is the sample on its energies.
  const talvern::RowsRead merged = talvern::read_rows(first / talvern::files::kMergedScans, 3);
  ASSERT_EQ(merged.rows, sample.rows);
  for (std::size_t i = 0; i < merged.rows; ++i) {
    EXPECT_NEAR(merged.at(i, 1), sample.at(i, 1), 1e-5 * std::fabs(sample.at(i, 1)) + 1e-12);
    EXPECT_LT(merged.at(i, 2), 1e-5 * std::fabs(sample.at(i, 1)) + 1e-12);
  }
  const std::string history = read_file(first / talvern::files::kHistory);
  EXPECT_NE(history.find("talvern-cli load-conv-xafs " + a.string() + " " + b.string() + " --align\n"),
            std::string::npos) << history;
  r = run_cli("--workspace '" + second.string() + "' replay '" +
              (first / talvern::files::kHistory).string() + "'");
  EXPECT_EQ(r.exit_code, 0) << r.out;
  for (const char* name : {talvern::files::kConventionalXAFS, talvern::files::kMergedScans})
    EXPECT_EQ(read_file(second / name), read_file(first / name)) << name;
  // "Comp. Another RIXS" takes several files too (and refuses: nothing is calculated).
  r = run_cli(ws + "rixs-comp-another" + both + " --align");
  EXPECT_EQ(r.exit_code, 1) << r.out;
  EXPECT_TRUE(r.out.starts_with("ERROR!!")) << r.out;
}

// A project file: its groups listed, loaded by --group (label or "#N"),
// refused without one, and the history line gives the same groups again.
TEST(TalvernCli, ProjectFileGroupsAreListedAndLoadedByGroup) {
  TempDir tmp;
  const std::filesystem::path first = tmp.file("first"), second = tmp.file("second");
  const std::filesystem::path prj = tmp.file("p.prj");
  talvern::test::write_file(prj, talvern::test::gzip(talvern::test::kSmallProject));
  const std::string ws = "--workspace '" + first.string() + "' ";
  ASSERT_EQ(run_cli(ws + "construct").exit_code, 0);
  CliRun r = run_cli(ws + "project-list '" + prj.string() + "'");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("3 groups in"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\n#3 \"Fe foil\": 1 point, 7000 to 7000 eV\n"), std::string::npos) << r.out;

  r = run_cli(ws + "load-conv-xafs '" + prj.string() + "'");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("#2 \"Fe 'oxide'\": 4 points"), std::string::npos) << r.out;
  r = run_cli(ws + "load-conv-xafs '" + prj.string() + "' --group 'Fe foil'");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("not unique"), std::string::npos) << r.out;

  r = run_cli(ws + "load-conv-xafs '" + prj.string() + "' --group '#1' --group \"Fe 'oxide'\"");
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_NE(r.out.find("Merged 2 scans: p.prj [Fe foil], p.prj [Fe 'oxide'];"), std::string::npos)
      << r.out;
  const std::string history = read_file(first / talvern::files::kHistory);
  EXPECT_NE(history.find(" --group '#1' --group "), std::string::npos) << history;
  // The refused loads are in the history too; the replay ends at the first.
  std::string last = history.substr(history.rfind("talvern-cli load-conv-xafs"));
  talvern::test::write_file(tmp.file("last.sh"), last);
  r = run_cli("--workspace '" + second.string() + "' construct");
  r = run_cli("--workspace '" + second.string() + "' replay '" + tmp.file("last.sh").string() + "'");
  EXPECT_EQ(r.exit_code, 0) << r.out << last;
  for (const char* name : {talvern::files::kConventionalXAFS, talvern::files::kMergedScans})
    EXPECT_EQ(read_file(second / name), read_file(first / name)) << name;
}

// ---- the README's command-line blocks -------------------------------------------------

// A talvern-cli command of a README block and what its comments state.
struct ReadmeCommand {
  std::string line;                  // as the README has it, continuation lines joined
  std::string args;                  // after "build/talvern-cli", without the comment
  int exit_code = 0;                 // "exits N" in a comment, else 0
  std::vector<std::string> numbers;  // every other number its comments state
};

struct ReadmeBlocks {
  std::vector<std::vector<ReadmeCommand>> blocks;
  std::vector<std::string> stray;  // lines of those blocks that are no command, comment or blank
};

// Where the comment of a shell line starts: the first '#' outside quotes
// that begins a word; npos for none.
std::size_t comment_start(std::string_view line) {
  char quote = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '#' && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t')) {
      return i;
    }
  }
  return std::string_view::npos;
}

bool is_word_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool is_digit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// What a comment states about `c`: "exits N" its exit status, and each
// number that stands as a word ("7113.66 eV", "6.97 %"; not the 2 of "Fe2O3").
void take_comment(std::string comment, ReadmeCommand& c) {
  if (const std::size_t at = comment.find("exits "); at != std::string::npos) {
    std::size_t end = at + 6;
    while (end < comment.size() && is_digit(comment[end])) ++end;
    if (end > at + 6) {
      c.exit_code = std::stoi(comment.substr(at + 6, end - at - 6));
      comment.erase(at, end - at);
    }
  }
  for (std::size_t i = 0; i < comment.size();) {
    if (!is_digit(comment[i]) || (i > 0 && (is_word_char(comment[i - 1]) || comment[i - 1] == '.'))) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < comment.size() && is_digit(comment[end])) ++end;
    if (end + 1 < comment.size() && comment[end] == '.' && is_digit(comment[end + 1]))
      for (++end; end < comment.size() && is_digit(comment[end]);) ++end;
    if (end == comment.size() || !is_word_char(comment[end]))
      c.numbers.push_back(comment.substr(i, end - i));
    i = end;
  }
}

// The ```sh blocks of the README that run build/talvern-cli, each a list of
// commands. A comment on a line of its own speaks of the block's last command.
ReadmeBlocks readme_blocks(const std::string& text) {
  constexpr std::string_view kProgram = "build/talvern-cli ";
  ReadmeBlocks out;
  std::vector<std::string> lines;
  bool in_block = false;
  std::size_t begin = 0;
  auto close_block = [&] {
    std::vector<ReadmeCommand> block;
    std::vector<std::string> own_line, stray;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      std::string line = lines[i];
      while (line.ends_with('\\') && i + 1 < lines.size()) line.pop_back(), line += lines[++i];
      const std::size_t hash = comment_start(line);
      if (line.starts_with(kProgram)) {
        ReadmeCommand c;
        c.line = line;
        c.args = line.substr(kProgram.size(),
                             hash == std::string::npos ? hash : hash - kProgram.size());
        if (hash != std::string::npos) take_comment(line.substr(hash), c);
        block.push_back(std::move(c));
      } else if (hash != std::string::npos && line.find_first_not_of(' ') == hash) {
        own_line.push_back(line.substr(hash));
      } else if (line.find_first_not_of(' ') != std::string::npos) {
        stray.push_back(line);
      }
    }
    if (!block.empty()) {
      for (const auto& comment : own_line) take_comment(comment, block.back());
      out.blocks.push_back(std::move(block));
      out.stray.insert(out.stray.end(), stray.begin(), stray.end());
    }
    lines.clear();
  };
  while (begin < text.size()) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(begin, end - begin);
    begin = end + 1;
    if (!in_block) {
      in_block = line.starts_with("```sh");
    } else if (line.starts_with("```")) {
      in_block = false;
      close_block();
    } else {
      lines.push_back(line);
    }
  }
  return out;
}

// Whether `out` holds `number` as a number of its own: not within a longer
// one ("6.97" is not in "16.97" or "6.975"; "7100" is in "7100.eV").
bool prints_number(const std::string& out, const std::string& number) {
  for (std::size_t at = out.find(number); at != std::string::npos; at = out.find(number, at + 1)) {
    const std::size_t end = at + number.size();
    const bool starts = at == 0 || !(is_digit(out[at - 1]) || out[at - 1] == '.');
    const bool ends = end == out.size() || !(is_digit(out[end]) || (out[end] == '.' && end + 1 < out.size() &&
                                                                     is_digit(out[end + 1])));
    if (starts && ends) return true;
  }
  return false;
}

// The subcommand a README line runs: the first word after the options.
std::string subcommand_of(const std::string& args) {
  std::istringstream words(args);
  std::string w;
  while (words >> w && w.starts_with("--"))
    if (w == "--workspace") words >> w;
  return w;
}

// The README's command-line blocks, run as written, in order, from the
// repository root on a fresh work-space (its /tmp paths in a scratch
// directory): each command exits as its comment says, prints every
// number its comments state, and changes no work-space file but those its
// sheet says it writes (which its button's tip and the help give).
TEST(TalvernCli, TheReadmeBlocksPrintWhatTheirCommentsState) {
  const std::filesystem::path root = std::filesystem::path(TALVERN_EXAMPLES_DIR).parent_path();
  const ReadmeBlocks readme = readme_blocks(read_file(root / "README.md"));
  EXPECT_TRUE(readme.stray.empty()) << "a line the test cannot run: " << readme.stray.front();
  std::size_t commands = 0, numbers = 0, failing = 0;
  for (const auto& block : readme.blocks)
    for (const auto& c : block) {
      ++commands;
      numbers += c.numbers.size();
      failing += c.exit_code != 0;
    }
  ASSERT_GE(readme.blocks.size(), 8u);  // loads, two settings, RIXS, average, optimise, ...
  ASSERT_GE(commands, 45u);
  ASSERT_GE(numbers, 15u);
  ASSERT_GE(failing, 1u);

  TempDir tmp;
  const std::string scratch = tmp.path().string();
  ASSERT_EQ(scratch.find_first_of(" '\"\\$`"), std::string::npos) << scratch;
  // Home is the scratch directory too: a command without --workspace
  // never reaches the user's work-space.
  const std::vector<talvern::Subcommand> subcommands = talvern::all_subcommands();
  const std::string prefix = "cd '" + root.string() + "' && HOME='" + scratch +
                             "' && export HOME && unset TALVERN_WORK_SPACE && ";
  for (const auto& block : readme.blocks)
    for (const auto& c : block) {
      std::string args = c.args;
      for (std::size_t at = args.find("/tmp/"); at != std::string::npos;
           at = args.find("/tmp/", at + scratch.size()))
        args.replace(at, 4, scratch);
      const auto ws_dir = tmp.path() / "ws";
      const auto before = std::filesystem::is_directory(ws_dir)
                              ? talvern::test::dat_files(ws_dir)
                              : std::map<std::string, std::string>{};
      const CliRun r = run_cli(args, prefix, " 2>&1");
      EXPECT_EQ(r.exit_code, c.exit_code) << c.line << "\n" << r.out;
      // "replay" runs the lines of a history, whichever they are.
      const talvern::Subcommand* s = talvern::find_subcommand(subcommands, subcommand_of(c.args));
      const std::vector<const char*> none;
      const auto& writes = s ? s->touches.writes : none;
      const auto declared = [&](const std::string& name) {
        return std::any_of(writes.begin(), writes.end(), [&](const char* w) {
          return name == w || std::string_view(w) == talvern::Touches::kEveryFile;
        });
      };
      if (s && std::filesystem::is_directory(ws_dir))
        for (const auto& [name, text] : talvern::test::dat_files(ws_dir)) {
          const auto was = before.find(name);
          EXPECT_TRUE((was != before.end() && was->second == text) || declared(name))
              << c.line << " changed " << name << ", which its sheet does not say it writes";
        }
      for (const auto& number : c.numbers)
        EXPECT_TRUE(prints_number(r.out, number))
            << number << " is not printed by\n" << c.line << "\n" << r.out;
    }
}

}  // namespace

// Every file of a directory with its text.
std::map<std::string, std::string> snapshot(const std::filesystem::path& dir) {
  std::map<std::string, std::string> all;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    all[e.path().filename().string()] = read_file(e.path());
  return all;
}

// `out` without the lines that say a file could not be written.
std::string without_cautions(const std::string& out) {
  std::string kept;
  std::size_t begin = 0;
  while (begin < out.size()) {
    std::size_t end = out.find('\n', begin);
    end = end == std::string::npos ? out.size() : end + 1;
    const std::string_view line(out.data() + begin, end - begin);
    if (!(line.starts_with("CAUTION!! ") && (line.find(" could not be written (") != line.npos ||
                                             line.find(" could not be appended to (") != line.npos)))
      kept += line;
    begin = end;
  }
  return kept;
}

// Each command that writes the work-space, run on a work-space that cannot
// be written and on a work-space path that is a file: it keeps its own
// message, adds one caution per file it could not write, exits 1, and no
// file changes. A read-only directory does not stop root, so as root the
// commands run as "nobody", which must reach the program and the examples:
// a clone inside a folder of mode 0700 (mktemp -d, /root) holds them where
// "nobody" cannot, so both are copied into the scratch folder first.
TEST(TalvernCli, WritesThatFailAreSaidAndChangeNothing) {
  TempDir tmp;
  namespace fs = std::filesystem;
  fs::permissions(tmp.path(), fs::perms(0755));
  const auto program = tmp.file("talvern-cli");
  fs::copy_file(TALVERN_CLI_PATH, program);
  fs::permissions(program, fs::perms(0755));
  fs::copy(TALVERN_EXAMPLES_DIR, tmp.file("examples"));
  const auto run_cli = [&program](const std::string& args, const std::string& prefix = "") {
    return talvern::test::run_cli_at(program.c_str(), args, prefix);
  };
  const bool root = ::geteuid() == 0;
  const std::string as_nobody = root ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  if (root && run_cli("--help", as_nobody).exit_code != 0)
    GTEST_SKIP() << "\"nobody\" cannot run " << program << " (is a folder above "
                 << tmp.path() << " closed to others?), so a read-only work-space cannot be tried";
  const auto dir = tmp.file("ws");
  const std::string ws = "--workspace '" + dir.string() + "' ";
  const std::string examples = "'" + tmp.file("examples").string() + "/";
  for (const std::string& setup : std::vector<std::string>{"construct", "load-conv-xafs " + examples + "Fe_Conventional_XAFS.DAT'",
        "load-xrf " + examples + "Fe_XRF_Kbeta.DAT'", "import-wien2k " + examples + "Fe_1compo_WIEN2k.DAT'",
        "xafs-load", "xafs-confirm --edge 'Fe K'", "xrf-load",
        "xrf-confirm --flag 1 --widths 8,5,2,1 --positions 7045,7056,7058,7060 "
        "--amplitudes 0.7,0.3,0.1,0.1", "xrf-fit --exc 7200", "xrf-complete",
        "load-exp-rixs " + examples + "Fe_RIXS_Exc7115.6eV.DAT'", "rixs-load-selective",
        "rixs-mode-change --min 7109 --max 7129",
        "rixs-show-peak --center 7115.6 --amp 1 --width 3", "rixs-modify --mode AB --add",
        "rixs-complete --min 7109 --max 7129",
        "rixs-calculate --exc 7115.6 --scale 7.9e-09 --abs-corr 1",
        "load-exp-cut " + examples + "Fe_RIXS_Exc7115.6eV.DAT' --exc 7115.6"})
    ASSERT_EQ(run_cli(ws + setup).exit_code, 0) << setup;
  const std::string study = "'" + tmp.file("kept.talvern-study").string() + "'";
  ASSERT_EQ(run_cli(ws + "study-save " + study).exit_code, 0);

  const std::vector<std::string> commands = {
      "load-exp-rixs " + examples + "Fe_RIXS_Exc7115.6eV.DAT'",
      "load-conv-xafs " + examples + "Fe_Conventional_XAFS.DAT'",
      "load-xrf " + examples + "Fe_XRF_Kbeta.DAT'",
      "xafs-load", "xafs-confirm --edge 'Fe K'", "xafs-click 10", "xrf-load",
      "xrf-confirm --flag 0 --widths 8,5,2,1 --positions 7045,7056,7058,7061 "
      "--amplitudes 0.7,0.3,0.1,0.1",
      "xrf-complete", "xrf-rfactor", "xrf-fit --exc 7200", "xrf-lsq --confirm",
      "rixs-load-selective",
      "average --points 5", "rixs-mode-change --min 7109 --max 7129",
      "rixs-show-peak --center 7115.6 --amp 1 --width 3", "rixs-modify --mode AB --add",
      "rixs-save-temporarily", "rixs-more-change --min 7109 --max 7129",
      "rixs-complete --min 7109 --max 7129", "rixs-shift --delta 1",
      "rixs-calculate --exc 7115.6 --scale 7.9e-09 --abs-corr 1", "rixs-comp-exp",
      "rixs-comp-another " + examples + "Fe_RIXS_Exc7115.6eV.DAT'", "study-open " + study + " --replace",
      "optimize --repetitions 1 --exc 7115.6 --start 7110 --end 7112",
      "rixs-plane --from 7110 --to 7111 --step 0.5",
      "import-wien2k " + examples + "Fe_1compo_WIEN2k.DAT'",
      "import-general " + examples + "Fe_general_XY1Y2.DAT'", "calc-rixs 7116",
      "calc-emission 7214", "load-exp-cut " + examples + "Fe_RIXS_Cut_7113eV.DAT' --exc 7113",
      "load-exp-herfd " + examples + "Fe_HERFD_Em7058eV.DAT' --emission 7058",
      "exp-set --remove exc:7115.6", "exp-set --clear", "plane-compare"};
  for (const auto& command : commands) {
    // What the command says where it can write: on a copy of the work-space.
    const auto copy = tmp.file("copy");
    std::filesystem::remove_all(copy);
    std::filesystem::copy(dir, copy);
    const CliRun writable = run_cli("--workspace '" + copy.string() + "' " + command);

    const auto before = snapshot(dir);
    std::filesystem::permissions(dir, std::filesystem::perms(0555));
    const CliRun r = run_cli(ws + command, as_nobody);
    std::filesystem::permissions(dir, std::filesystem::perms(0755));
    EXPECT_EQ(r.exit_code, 1) << command << "\n" << r.out;
    EXPECT_EQ(snapshot(dir), before) << command;
    // The command's own message comes first, unless it could not go on: a
    // calculation or import whose result file cannot be written says so as
    // its error; the others add the system's reason for each file, as the
    // imports do after their error.
    const bool stops = command == "xrf-rfactor" || command.starts_with("xrf-fit") ||
                       command.starts_with("rixs-calculate") || command.starts_with("optimize") ||
                       command.starts_with("rixs-plane") || command.starts_with("calc-") ||
                       command.starts_with("import-") || command.starts_with("study-open");
    if (!stops || command == "xrf-rfactor" || command.starts_with("rixs-calculate") ||
        command.starts_with("import-")) {
      EXPECT_NE(r.out.find(" could not be written (Permission denied); the work-space keeps its "
                           "former content.\n"),
                std::string::npos)
          << command << "\n" << r.out;
    }
    if (!stops)  // what it says where it can write, and the cautions
      EXPECT_EQ(without_cautions(r.out), writable.out) << command;
    else
      EXPECT_TRUE(r.out.starts_with("ERROR!!\n") && r.out.find("could not be written") != std::string::npos)
          << command << "\n" << r.out;

    // A work-space path that is a file.
    const CliRun on_file = run_cli("--workspace '" + (dir / "RIXS_Calculation_Lorentz.DAT").string() +
                                   "' " + command);
    EXPECT_EQ(on_file.exit_code, 1) << command << "\n" << on_file.out;
  }

  // "Construct Work-Space" in a directory where nothing can be written.
  const auto empty = tmp.file("empty");
  std::filesystem::create_directory(empty);
  std::filesystem::permissions(empty, std::filesystem::perms(0555));
  const CliRun r = run_cli("--workspace '" + empty.string() + "' construct", as_nobody);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(r.out.starts_with("ERROR!!\nThe working directory\n C:\\TALVERN_WORK_SPACE\nis "
                                "incomplete:\nCAUTION!! RIXS_Calculation_Parameters.DAT could not be "
                                "written (Permission denied)")) << r.out;
  EXPECT_TRUE(std::filesystem::is_empty(empty));
}
