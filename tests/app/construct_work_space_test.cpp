#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "app/main_form.h"
#include "support/killed_steps.h"
#include "support/temp_dir.h"
#include "workspace/file_names.h"
#include "workspace/parameters.h"

namespace talvern {
namespace {

using test::TempDir;

const char* const kMessage =
    "The working directory\r\n C:\\TALVERN_WORK_SPACE\r\nwas made. (Previous data were protected.)";

const std::map<std::string, std::string> kPlaceholders = {
    {files::kParameters, "1.25\t7120\t7020\t7065\t0.1\t1\t7.9e-09\n"},
    {files::kLorentz,
     "1\t8.12\t5.78\t1.9\t1.07\t7045\t7056\t7058.8\t7060.1\t0.75\t0.305\t0.15\t0.105\n"},
    {files::kEmissionExcEnergy, "7200\n"},
    {files::kNonResonantEmission, "7000\t1\t1\t1\n"},
    {files::kSelectiveForRIXSTemp, "7000\t1\t1\n"},
    {files::kCalculatedRIXS, "7000\t1\t1\n"},
};

// Every file of the directory with its text.
std::map<std::string, std::string> contents(const std::filesystem::path& dir) {
  std::map<std::string, std::string> all;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    all[e.path().filename().string()] = test::read_file(e.path());
  return all;
}

std::string construct(const std::filesystem::path& dir) {
  MainFormState form;
  construct_work_space(WorkSpace(dir), form);
  return form.message;
}

TEST(ConstructWorkSpace, WritesTheSixPlaceholdersIntoEmptyOrMissingDirectory) {
  TempDir tmp;
  for (const auto& dir : {tmp.path(), tmp.file("a") / "b"}) {
    EXPECT_EQ(construct(dir), kMessage);
    EXPECT_EQ(contents(dir), kPlaceholders) << dir;
  }
}

// A directory that cannot be made is an error with the system's reason.
// (Placeholders that cannot be written: tests/cli.)
TEST(ConstructWorkSpace, SaysWhyTheWorkSpaceCouldNotBeMade) {
  TempDir tmp;
  test::write_file(tmp.file("plain"), "x");  // a file where the directory should go
  for (const auto& [dir, reason] : {std::pair{tmp.file("plain"), "(Not a directory)"},
                                    std::pair{tmp.file("plain") / "ws", "(Not a directory)"}}) {
    const std::string message = construct(dir);
    EXPECT_TRUE(message.starts_with("ERROR!!\r\nThe working directory\r\n C:\\TALVERN_WORK_SPACE\r\n"
                                    "could not be made "))
        << message;
    EXPECT_NE(message.find(reason), std::string::npos) << message;
  }
  EXPECT_EQ(test::read_file(tmp.file("plain")), "x");
}

TEST(ConstructWorkSpace, NeverTouchesExistingFiles) {
  TempDir tmp;
  construct(tmp.path());
  test::write_file(tmp.file(files::kParameters), "2.5\t8000\t7900\t7950\t0.25\t3\t1e-08");
  test::write_file(tmp.file(files::kLorentz), "");
  const auto before = contents(tmp.path());
  EXPECT_EQ(construct(tmp.path()), kMessage);  // full work-space: nothing changes
  EXPECT_EQ(contents(tmp.path()), before);
  std::filesystem::remove(tmp.file(files::kCalculatedRIXS));
  EXPECT_EQ(construct(tmp.path()), kMessage);  // only the missing file comes back
  EXPECT_EQ(contents(tmp.path()), before);
}

// A construct killed at any step leaves no placeholder or all six once the
// program has started again; the program says when it finished one.
TEST(ConstructWorkSpace, AKillLeavesNoPlaceholderOrAllOfThem) {
  TempDir tmp;
  const WorkSpace ws(tmp.file("ws"));
  bool journalled = false;
  for (std::size_t k = 1;; ++k) {
    ASSERT_LT(k, 100u);
    std::filesystem::remove_all(ws.dir());
    std::filesystem::create_directories(ws.dir());
    const std::string step = test::run_stopped_at(k, [&] {
      MainFormState form;
      construct_work_space(ws, form);
    });
    journalled = journalled || step == "journal written";
    const bool pending = journalled && !step.empty() && step != "journal removed";
    {
      WorkSpaceLock lock;
      MainFormState form{"before"};
      start_up(ws, lock, form);
      EXPECT_TRUE(lock.held());
      if (pending) {
        EXPECT_EQ(form.message, "CAUTION!!\r\n\"Construct Work-Space\" was interrupted before "
                                "it ended; it has now been finished.") << step;
        form.message = "before";
        EXPECT_TRUE(claim_work_space(ws, lock, form));  // settled: the next command runs
      }
      EXPECT_EQ(form.message, "before") << step;
    }
    const auto state = test::work_space_state(ws.dir());
    if (step.empty()) {
      EXPECT_EQ(state, kPlaceholders);
      break;
    }
    const std::map<std::string, std::string> none;
    EXPECT_EQ(state, journalled ? kPlaceholders : none) << step;
  }
  EXPECT_TRUE(journalled);
}

TEST(ConstructWorkSpace, PlaceholdersReadAsTheirReadersExpect) {
  TempDir tmp;
  construct(tmp.path());
  // Three values in a four-column file: a four-value reader finds no row.
  EXPECT_EQ(read_rows(tmp.file(files::kCalculatedRIXS), 4).rows, 0u);
  EXPECT_EQ(read_rows(tmp.file(files::kNonResonantEmission), 4).rows, 1u);
  EXPECT_EQ(read_rows(tmp.file(files::kSelectiveForRIXSTemp), 3).values,
            (std::vector<double>{7000, 1, 1}));
  CalcParameters p;
  p.gamma = 0;
  EXPECT_EQ(read_parameters(tmp.file(files::kParameters), p), 7u);
  EXPECT_EQ(p.gamma, 1.25);
  LorentzSet lor;
  lor.width = {};
  EXPECT_EQ(read_lorentz(tmp.file(files::kLorentz), lor), 13u);
  EXPECT_EQ(lor.width, LorentzSet().width);
}

// What writes killed before their rename left: removed by "Construct
// Work-Space" and at start-up under the lock; files of the user stay.
TEST(ConstructWorkSpace, RemovesTheTemporariesOfKilledWritesOnly) {
  TempDir tmp;
  const WorkSpace ws(tmp.path());
  const char* const stale[] = {".Calculated_RIXS.DAT.a1B2c3", ".RIXS_Plane.DAT.XXXXXX"};
  const char* const kept[] = {".bashrc.backup", ".Calculated_RIXS.DAT.abc",
                              ".Calculated_RIXS.DAT.abc-12", "Calculated_RIXS.DAT.a1B2c3",
                              ".My_Notes.DAT.a1B2c3"};
  auto plant = [&] {
    for (const char* name : stale) test::write_file(tmp.file(name), "7000\t1");
    for (const char* name : kept) test::write_file(tmp.file(name), "mine");
  };
  plant();
  EXPECT_EQ(construct(tmp.path()), kMessage);
  for (const char* name : stale) EXPECT_FALSE(ws.exists(name)) << name;
  for (const char* name : kept) EXPECT_EQ(test::read_file(tmp.file(name)), "mine") << name;

  // Start-up: another program holds the work-space, so nothing is touched.
  plant();
  WorkSpaceLock other, lock;
  ASSERT_EQ(other.acquire(ws), WorkSpaceLock::State::held);
  MainFormState form{"before"};
  start_up(ws, lock, form);
  EXPECT_TRUE(form.message.starts_with("CAUTION!! Another TALVERN is using this work-space\r\n"
                                       "(process " + std::to_string(::getpid()) + " on "))
      << form.message;
  EXPECT_FALSE(lock.held());
  for (const char* name : stale) EXPECT_TRUE(ws.exists(name)) << name;
  // A command is refused the same way, until the other program is gone.
  form.message = "before";
  EXPECT_FALSE(claim_work_space(ws, lock, form));
  EXPECT_TRUE(form.message.starts_with("CAUTION!!"));
  other.release();
  form.message = "before";
  start_up(ws, lock, form);
  EXPECT_EQ(form.message, "before");
  EXPECT_TRUE(lock.held());
  for (const char* name : stale) EXPECT_FALSE(ws.exists(name)) << name;
  for (const char* name : kept) EXPECT_EQ(test::read_file(tmp.file(name)), "mine") << name;
}

}  // namespace
}  // namespace talvern
