#include "workspace/study.h"

#include <gtest/gtest.h>

#include <archive.h>
#include <archive_entry.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <map>

#include "support/killed_steps.h"
#include "support/temp_dir.h"
#include "workspace/file_names.h"
#include "workspace/row_io.h"

namespace {

namespace fs = std::filesystem;
using talvern::WorkSpace;
using talvern::test::read_file;
using talvern::test::TempDir;
using talvern::test::write_file;
namespace files = talvern::files;

// Every file below `dir`, by its path relative to it, with its bytes.
std::map<std::string, std::string> snapshot(const fs::path& dir) {
  std::map<std::string, std::string> all;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) all[fs::relative(e.path(), dir).string()] = read_file(e.path());
  return all;
}

// A gzip tar archive of the given entries, in the given order, with the
// given type (a link entry points at "target"). A plain file's content may
// be followed by `zeros` zero bytes, or be the last byte of a sparse file of
// `sparse` bytes, holes before it.
struct Entry {
  std::string name, content;
  unsigned type = AE_IFREG;
  std::size_t zeros = 0;
  std::int64_t sparse = 0;
};
std::string make_archive(const std::vector<Entry>& entries, bool gzip = true) {
  std::string out;
  archive* a = archive_write_new();
  archive_write_set_format_pax_restricted(a);
  if (gzip) archive_write_add_filter_gzip(a);
  archive_write_open(
      a, &out, nullptr,
      [](archive*, void* d, const void* b, size_t n) -> la_ssize_t {
        static_cast<std::string*>(d)->append(static_cast<const char*>(b), n);
        return static_cast<la_ssize_t>(n);
      },
      nullptr);
  const std::string zeros(1 << 20, '\0');
  for (const Entry& en : entries) {
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, en.name.c_str());
    archive_entry_set_filetype(e, en.type);
    archive_entry_set_perm(e, 0644);
    if (en.type == AE_IFLNK) archive_entry_set_symlink(e, "/etc/passwd");
    const auto size = static_cast<la_int64_t>(en.content.size() + en.zeros);
    archive_entry_set_size(e, en.type != AE_IFREG ? 0 : en.sparse > 0 ? en.sparse : size);
    if (en.sparse > 0) archive_entry_sparse_add_entry(e, en.sparse - size, size);
    archive_write_header(a, e);
    if (en.type == AE_IFREG) archive_write_data(a, en.content.data(), en.content.size());
    for (std::size_t left = en.zeros; left > 0; left -= std::min(left, zeros.size()))
      archive_write_data(a, zeros.data(), std::min(left, zeros.size()));
    archive_entry_free(e);
  }
  archive_write_close(a);
  archive_write_free(a);
  return out;
}

std::string manifest(std::initializer_list<const char*> names) {
  std::string m = "TALVERN study\nname: evil\ndate: 2026-01-01T00:00:00Z\nversion: 2.0\n";
  for (const char* n : names) m += std::string("file: ") + n + "\n";
  return m;
}

TEST(Study, SavedChangedAndOpenedGivesEveryFileBackByteForByte) {
  TempDir tmp;
  const WorkSpace ws(tmp.file("ws"));
  fs::create_directories(ws.dir());
  // Files as the user's work-space holds them: odd spacing, no last line
  // break, a binary byte, an empty file, and the large RIXS plane.
  std::map<std::string, std::string> saved = {
      {files::kParameters, "1.25\t7120\t7020\t7065\t0.1\t1\t7.9e-09\n"},
      {files::kLorentz, "1 8.12 5.78   1.9\r\n1.07"},
      {files::kRIXSExp, std::string("7000\t1\n7001\t2\n\x00\xff", 16)},
      {files::kEmissionMinMax, ""},
      {files::kRIXSPlane, std::string(300000, '7')},
  };
  for (const auto& [name, text] : saved) write_file(ws.file(name.c_str()), text);
  write_file(ws.file("notes.txt"), "mine");
  const fs::path study = tmp.file("first.talvern-study");

  const std::string msg = talvern::SaveStudy(ws, study, "Fe2O3 at 7 keV");
  ASSERT_EQ(msg.rfind("The study \"Fe2O3 at 7 keV\" with 5 files", 0), 0u) << msg;
  EXPECT_LT(fs::file_size(study), 20000u);  // the plane compresses

  // The work-space changes: a file edited, one removed, one added.
  write_file(ws.file(files::kParameters), "9\t9\t9\t9\t9\t9\t9\n");
  fs::remove(ws.file(files::kLorentz));
  write_file(ws.file(files::kCalculatedRIXS), "7000\t1\t1\n");
  const auto before_open = snapshot(ws.dir());

  // Without leave to replace nothing happens.
  auto r = talvern::OpenStudy(ws, study, false);
  EXPECT_TRUE(r.needs_replace);
  EXPECT_EQ(r.message.rfind("CAUTION!!", 0), 0u);
  EXPECT_EQ(snapshot(ws.dir()), before_open);

  r = talvern::OpenStudy(ws, study, true);
  ASSERT_FALSE(r.needs_replace);
  EXPECT_EQ(r.message.rfind("The study \"Fe2O3 at 7 keV\" of 20", 0), 0u) << r.message;
  for (const auto& [name, text] : saved) EXPECT_EQ(read_file(ws.file(name.c_str())), text) << name;
  // A catalogue file the study does not hold is gone; other files stay.
  EXPECT_FALSE(fs::exists(ws.file(files::kCalculatedRIXS)));
  EXPECT_EQ(read_file(ws.file("notes.txt")), "mine");
  EXPECT_EQ(talvern::work_space_files(ws).size(), saved.size());

  // The backup is a study of exactly what was replaced.
  ASSERT_EQ(r.backup.parent_path(), ws.dir() / talvern::kStudyBackupFolder);
  EXPECT_NE(r.message.find(r.backup.string()), std::string::npos);
  std::string bytes, error;
  ASSERT_TRUE(talvern::read_text(r.backup, bytes));
  talvern::Study backup;
  ASSERT_TRUE(talvern::unpack_study(bytes, backup, error)) << error;
  std::size_t catalogue_files = 0;
  for (const auto& f : backup.files) {
    ++catalogue_files;
    EXPECT_EQ(f.content, before_open.at(f.name)) << f.name;
  }
  EXPECT_EQ(catalogue_files, before_open.size() - 1);  // all but notes.txt

  // Each open keeps a backup of its own beside the others, in the same
  // second or not.
  write_file(ws.file(files::kParameters), "second\n");
  const auto first_backup = r.backup;
  r = talvern::OpenStudy(ws, study, true);
  ASSERT_NE(r.backup, first_backup);
  EXPECT_EQ(std::distance(fs::directory_iterator(ws.dir() / talvern::kStudyBackupFolder),
                          fs::directory_iterator()), 2);
  ASSERT_TRUE(talvern::read_text(r.backup, bytes));
  ASSERT_TRUE(talvern::unpack_study(bytes, backup, error)) << error;
  ASSERT_FALSE(backup.files.empty());
  EXPECT_EQ(backup.files[0].name, files::kParameters);
  EXPECT_EQ(backup.files[0].content, "second\n");

  // Into a work-space that does not exist yet: made, nothing asked, no backup.
  const WorkSpace fresh(tmp.file("fresh"));
  r = talvern::OpenStudy(fresh, study, false);
  EXPECT_FALSE(r.needs_replace);
  EXPECT_TRUE(r.backup.empty());
  EXPECT_EQ(snapshot(fresh.dir()).size(), saved.size());

  // A study never replaces a work-space file.
  const std::string rixs = read_file(ws.file(files::kRIXSExp));
  EXPECT_EQ(talvern::SaveStudy(ws, ws.file(files::kRIXSExp), "x").rfind("ERROR!!", 0), 0u);
  EXPECT_EQ(read_file(ws.file(files::kRIXSExp)), rixs);

  // An empty work-space is not saved.
  const WorkSpace none(tmp.file("none"));
  EXPECT_EQ(talvern::SaveStudy(none, tmp.file("none.talvern-study"), "x").rfind("ERROR!!", 0), 0u);
  EXPECT_FALSE(fs::exists(tmp.file("none.talvern-study")));
}

TEST(Study, AnArchiveThatIsNoStudyIsRefusedAndChangesNothing) {
  TempDir tmp;
  const WorkSpace ws(tmp.file("ws"));
  fs::create_directories(ws.dir());
  write_file(ws.file(files::kRIXSExp), "7000\t1\n");
  const auto before = snapshot(tmp.path());
  const std::string ok = "7000\t1\n";
  talvern::StudyLimits small;
  small.entry_bytes = 1000;

  const std::vector<std::pair<const char*, std::string>> cases = {
      {"path traversal", make_archive({{talvern::kStudyManifest, manifest({"../x"})},
                                       {"../x", ok}})},
      {"folder in the name", make_archive({{talvern::kStudyManifest, manifest({})},
                                           {std::string("sub/") + files::kRIXSExp, ok}})},
      {"absolute path", make_archive({{talvern::kStudyManifest, manifest({})},
                                      {std::string("/tmp/") + files::kRIXSExp, ok}})},
      {"not in the catalogue", make_archive({{talvern::kStudyManifest, manifest({"evil.DAT"})},
                                             {"evil.DAT", ok}})},
      {"symbolic link", make_archive({{talvern::kStudyManifest, manifest({files::kRIXSExp})},
                                      {files::kRIXSExp, "", AE_IFLNK}})},
      {"huge entry", make_archive({{talvern::kStudyManifest, manifest({files::kRIXSExp})},
                                   {files::kRIXSExp, std::string(1001, '1')}})},
      {"a file twice", make_archive({{talvern::kStudyManifest, manifest({files::kRIXSExp})},
                                     {files::kRIXSExp, ok},
                                     {files::kRIXSExp, ok}})},
      {"no manifest", make_archive({{files::kRIXSExp, ok}})},
      {"only the manifest", make_archive({{talvern::kStudyManifest, manifest({})}})},
      {"no gzip", make_archive({{talvern::kStudyManifest, manifest({files::kRIXSExp})},
                                {files::kRIXSExp, ok}},
                               false)},
      {"manifest lists another file",
       make_archive({{talvern::kStudyManifest, manifest({files::kLorentz})}, {files::kRIXSExp, ok}})},
      {"not an archive", "TALVERN study\n"},
  };
  for (const auto& [what, bytes] : cases) {
    const fs::path file = tmp.file("bad.talvern-study");
    write_file(file, bytes);
    const auto r = talvern::OpenStudy(ws, file, true, small);
    EXPECT_EQ(r.message.rfind("ERROR!!", 0), 0u) << what << ": " << r.message;
    EXPECT_NE(r.message.find("The work-space was not changed."), std::string::npos) << what;
    fs::remove(file);
    EXPECT_EQ(snapshot(tmp.path()), before) << what;
  }
  // A cut-short archive and a missing one.
  std::string error, noise(5000, ' ');
  unsigned x = 1;
  for (char& c : noise) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
  const std::string good = make_archive({{talvern::kStudyManifest, manifest({files::kRIXSExp})},
                                         {files::kRIXSExp, noise}});
  talvern::Study study;
  EXPECT_TRUE(talvern::unpack_study(good, study, error)) << error;
  EXPECT_FALSE(talvern::unpack_study(std::string_view(good).substr(0, good.size() / 2), study,
                                     error));
  EXPECT_EQ(talvern::OpenStudy(ws, tmp.file("missing"), true).message.rfind("ERROR!!", 0), 0u);
  EXPECT_EQ(snapshot(tmp.path()), before);
}

TEST(Study, ABackupNameIsFreeWhateverTheClockSays) {
  TempDir tmp;
  const std::time_t when = 1700000000;  // 2023-11-14T22:13:20Z
  write_file(tmp.file("Backup_20231114-221320.talvern-study"), "kept");
  // A broken link holds its name too.
  fs::create_symlink("nowhere", tmp.file("Backup_20231114-221320_2.talvern-study"));
  EXPECT_EQ(talvern::free_backup_name(tmp.path(), when),
            tmp.file("Backup_20231114-221320_3.talvern-study"));
  EXPECT_EQ(talvern::free_backup_name(tmp.file("empty"), when),
            tmp.file("empty") / "Backup_20231114-221320.talvern-study");
}

// A work-space folder made anew holding `content` (file name, bytes).
void fill(const WorkSpace& ws, const std::map<std::string, std::string>& content) {
  fs::remove_all(ws.dir());
  fs::create_directories(ws.dir());
  for (const auto& [name, text] : content) write_file(ws.file(name.c_str()), text);
}

void copy_folder(const fs::path& from, const fs::path& to) {
  fs::remove_all(to);
  fs::copy(from, to, fs::copy_options::recursive);
}

// A work-space holding an old study and a study file holding a new one:
// one file changes, one goes, one comes, and a file of the user's stays.
class StudyKilled : public ::testing::Test {
 protected:
  void SetUp() override {
    const WorkSpace source(tmp.file("source"));
    fill(source, {{files::kParameters, "9\t9\t9\t9\t9\t9\t9\n"},
                  {files::kLorentzTemp, "1\t2\t3\n"},
                  {files::kCalculatedRIXS, "7000\t2\t2\n"}});
    ASSERT_EQ(talvern::SaveStudy(source, study, "new").rfind("The study", 0), 0u);
    new_state = talvern::test::work_space_state(source.dir());
    new_state["notes.txt"] = "mine";
    fill_old();
    old_state = talvern::test::work_space_state(ws.dir());
  }
  void fill_old() {
    fill(ws, {{files::kParameters, "1\t2\t3\t4\t5\t6\t7\n"},
              {files::kRIXSExp, "7000\t1\n"},
              {files::kCalculatedRIXS, "7000\t1\t1\n"},
              {"notes.txt", "mine"}});
  }
  // A recovery killed in turn at each of its own steps, each time from the
  // state the work-space holds now, then run whole: each must end in `want`.
  void recover_killed_at_each_step(const std::map<std::string, std::string>& want,
                                   const std::string& what) {
    const fs::path stopped = tmp.file("stopped");
    copy_folder(ws.dir(), stopped);
    for (std::size_t j = 1;; ++j) {
      ASSERT_LT(j, 100u);
      copy_folder(stopped, ws.dir());
      const std::string step =
          talvern::test::run_stopped_at(j, [&] { talvern::recover_work_space(ws); });
      talvern::recover_work_space(ws);
      EXPECT_EQ(talvern::test::work_space_state(ws.dir()), want)
          << what << ", recovery killed after \"" << step << "\"";
      if (step.empty()) break;
    }
    // The backups are whole studies, and no temporary of one is left.
    if (!fs::exists(ws.dir() / talvern::kStudyBackupFolder)) return;
    for (const auto& e : fs::directory_iterator(ws.dir() / talvern::kStudyBackupFolder)) {
      std::string bytes, error;
      talvern::Study backup;
      EXPECT_TRUE(talvern::read_text(e.path(), bytes) &&
                  talvern::unpack_study(bytes, backup, error))
          << e.path() << " " << error;
    }
  }

  TempDir tmp;
  const WorkSpace ws{tmp.file("ws")};
  const fs::path study = tmp.file("new.talvern-study");
  std::map<std::string, std::string> old_state, new_state;
};

TEST_F(StudyKilled, AtAnyStepTheNextCommandFindsTheOldStudyOrTheNew) {
  std::vector<std::string> steps;
  bool journalled = false;
  for (std::size_t k = 1;; ++k) {
    ASSERT_LT(k, 100u);
    fill_old();
    const std::string step =
        talvern::test::run_stopped_at(k, [&] { talvern::OpenStudy(ws, study, true); });
    if (step.empty()) {
      EXPECT_EQ(talvern::test::work_space_state(ws.dir()), new_state);
      break;
    }
    steps.push_back(step);
    // Once the journal is written the study is opened whole; before, not at all.
    journalled = journalled || step == "journal written";
    EXPECT_EQ(fs::exists(ws.file(files::kJournal)), journalled && step != "journal removed")
        << step;
    const fs::path stopped = tmp.file("at_k");
    copy_folder(ws.dir(), stopped);
    const auto recovery = talvern::recover_work_space(ws);
    EXPECT_FALSE(recovery.blocked);
    if (journalled && step != "journal removed") {
      ASSERT_EQ(recovery.lines.size(), 1u) << step;
      EXPECT_TRUE(recovery.lines[0].starts_with("CAUTION!!\r\nOpening the study \"new\" was "
                                                "interrupted before it ended; it has now been "
                                                "finished.\r\nWhat it replaced is kept in\r\n " +
                                                (ws.dir() / talvern::kStudyBackupFolder).string()))
          << recovery.lines[0];
    } else {
      EXPECT_TRUE(recovery.lines.empty()) << step;
    }
    copy_folder(stopped, ws.dir());
    recover_killed_at_each_step(journalled ? new_state : old_state, "open killed after " + step);
  }
  // Three files staged and the backup before the journal; after it two files
  // set aside, three moved, one removed, the staging folder and the journal.
  EXPECT_EQ(steps.size(), 13u);
  EXPECT_TRUE(journalled);
}

TEST_F(StudyKilled, AnOpeningThatCannotBeFinishedIsUndone) {
  // Killed as soon as the journal is written, then a staged file is lost.
  for (std::size_t k = 1;; ++k) {
    ASSERT_LT(k, 100u);
    fill_old();
    if (talvern::test::run_stopped_at(k, [&] { talvern::OpenStudy(ws, study, true); }) ==
        "journal written")
      break;
  }
  fs::path staging;
  for (const auto& e : fs::directory_iterator(ws.dir()))
    if (e.path().filename().string().starts_with(".talvern-staging.")) staging = e.path();
  ASSERT_TRUE(fs::remove(staging / files::kLorentzTemp));

  const fs::path stopped = tmp.file("lost");
  copy_folder(ws.dir(), stopped);
  const auto recovery = talvern::recover_work_space(ws);
  EXPECT_FALSE(recovery.blocked);
  ASSERT_EQ(recovery.lines.size(), 1u);
  EXPECT_TRUE(recovery.lines[0].starts_with(
      "CAUTION!!\r\nOpening the study \"new\" was interrupted and could not be finished "
      "(RIXS_Calculation_Lorentz_Temp.DAT: missing from "))
      << recovery.lines[0];
  EXPECT_TRUE(recovery.lines[0].ends_with("the work-space was put back as it was before."));
  EXPECT_EQ(talvern::test::work_space_state(ws.dir()), old_state);
  // An undo killed at any of its steps is taken up again, not finished.
  copy_folder(stopped, ws.dir());
  recover_killed_at_each_step(old_state, "undo");
}

TEST_F(StudyKilled, FailedWritesLeaveNoTemporaryAndChangeNothing) {
  // Files may hold no more than 4 KB: the study's files fit, a backup of a
  // work-space holding a 20 KB measurement does not.
  std::string noise(20000, ' ');
  unsigned x = 7;
  for (char& c : noise) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
  write_file(ws.file(files::kRIXSExp), noise);
  const auto before = talvern::test::work_space_state(ws.dir());
  const fs::path out = tmp.file("out");
  fs::create_directories(out);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    try {
      std::signal(SIGXFSZ, SIG_IGN);
      const rlimit small{4096, 4096};
      ::setrlimit(RLIMIT_FSIZE, &small);
      const bool saved =
          talvern::SaveStudy(ws, out / "s.talvern-study", "s").starts_with("ERROR!!");
      const bool opened = talvern::OpenStudy(ws, study, true).message.starts_with(
          "ERROR!!\r\nThe backup of the work-space could not be written into");
      ::_exit(saved && opened ? 0 : 1);
    } catch (...) {
      ::_exit(2);
    }
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "both refused with ERROR!!";
  EXPECT_TRUE(fs::is_empty(out));
  EXPECT_TRUE(fs::is_empty(ws.dir() / talvern::kStudyBackupFolder));
  EXPECT_EQ(talvern::test::work_space_state(ws.dir()), before);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// The size of the address space this process uses now.
std::uint64_t address_space_now() {
  std::string statm = read_file("/proc/self/statm");
  return std::stoull(statm) * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
}

TEST(Study, AnArchiveThatDeclaresMoreThanItHoldsIsRefusedWithinBoundedMemory) {
  if (kAddressSanitizer) GTEST_SKIP() << "AddressSanitizer cannot run under an address-space limit";
  TempDir tmp;
  const WorkSpace ws(tmp.file("ws"));
  fs::create_directories(ws.dir());
  write_file(ws.file(files::kRIXSExp), "7000\t1\n");
  const auto before = snapshot(tmp.path());
  // Archives that declare far more than they hold: a gzip bomb and sparse
  // entries. Each is refused as no study, having unpacked a few blocks.
  auto plane = [](std::size_t zeros, std::int64_t sparse) {
    return make_archive({{talvern::kStudyManifest, manifest({files::kRIXSPlane})},
                         {files::kRIXSPlane, sparse > 0 ? "1" : "", AE_IFREG, zeros, sparse}});
  };
  const std::pair<const char*, std::string> hostile[] = {
      {"gzip bomb", plane(std::size_t{200} << 20, 0)},
      {"sparse entry", plane(0, std::int64_t{200} << 20)},
      {"sparse entry of 514 MB", plane(0, 514000000)},
  };
  for (const auto& [what, bytes] : hostile) {
    ASSERT_LT(bytes.size(), std::size_t{1} << 20) << what;
    const fs::path file = tmp.file("hostile.talvern-study");
    write_file(file, bytes);
    // In a child, whose address space may grow by 64 MiB at most: a reader
    // that made room for what the archive declares cannot.
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      try {
        const rlim_t limit = address_space_now() + (rlim_t{64} << 20);
        const rlimit as{limit, limit};
        ::setrlimit(RLIMIT_AS, &as);
        std::string error;
        talvern::Study study;
        const bool refused = !talvern::unpack_study(bytes, study, error);
        const auto r = talvern::OpenStudy(ws, file, true);
        ::_exit(refused && r.message.starts_with("ERROR!!\r\n " + file.string() +
                                                 "\r\nis no TALVERN study: ") ? 0 : 1);
      } catch (...) {
        ::_exit(2);
      }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << what;
    EXPECT_NE(WEXITSTATUS(status), 2) << what << ": the reader ran out of memory";
    EXPECT_EQ(WEXITSTATUS(status), 0) << what << ": not refused as no study";
    fs::remove(file);
    EXPECT_EQ(snapshot(tmp.path()), before) << what;
  }
  // What the bomb is told: the ratio.
  std::string error;
  talvern::Study study;
  EXPECT_FALSE(talvern::unpack_study(plane(std::size_t{4} << 20, 0), study, error));
  EXPECT_EQ(error, "it unpacks to more than 100 times its size");
}

TEST(Study, AWorkSpaceFileAsLargeAsTheyComePassesTheLimits) {
  // The largest RIXS plane: every row five values of the longest text.
  const talvern::StudyLimits limits;
  EXPECT_GE(limits.entry_bytes, 2000000u * (5 * 13 + 5));
  // A plane's text compresses far less than the ratio allows: 2 MiB of
  // rows as RIXS_Plane.DAT holds them open.
  std::string plane;
  for (int i = 0; plane.size() < (std::size_t{2} << 20); ++i) {
    char row[96];
    const double exc = 7100 + (i / 600) * 0.25, em = 7000 + (i % 600) * 0.25;
    std::snprintf(row, sizeof row, "%g\t%g\t%g\t%g\t%g\n", exc, em, 1e-3 * (i % 977) / (1 + i % 13),
                  (i % 31) * 0.5, (i % 17) * 0.25);
    plane += row;
  }
  const std::string bytes = make_archive({{talvern::kStudyManifest, manifest({files::kRIXSPlane})},
                                          {files::kRIXSPlane, plane}});
  talvern::Study study;
  std::string error;
  EXPECT_TRUE(talvern::unpack_study(bytes, study, error)) << error;
}

TEST(Study, RecentStudiesKeepTheLastFourWithoutRepeats) {
  std::vector<std::string> list;
  for (const char* f : {"a", "b", "c", "d", "e", "c"}) list = talvern::push_recent_study(list, f);
  EXPECT_EQ(list, (std::vector<std::string>{"c", "e", "d", "b"}));
}

}  // namespace
