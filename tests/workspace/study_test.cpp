#include "workspace/study.h"

#include <gtest/gtest.h>

#include <archive.h>
#include <archive_entry.h>

#include <map>

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
// given type (a link entry points at "target").
struct Entry {
  std::string name, content;
  unsigned type = AE_IFREG;
};
std::string make_archive(const std::vector<Entry>& entries) {
  std::string out;
  archive* a = archive_write_new();
  archive_write_set_format_pax_restricted(a);
  archive_write_add_filter_gzip(a);
  archive_write_open(
      a, &out, nullptr,
      [](archive*, void* d, const void* b, size_t n) -> la_ssize_t {
        static_cast<std::string*>(d)->append(static_cast<const char*>(b), n);
        return static_cast<la_ssize_t>(n);
      },
      nullptr);
  for (const Entry& en : entries) {
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, en.name.c_str());
    archive_entry_set_filetype(e, en.type);
    archive_entry_set_perm(e, 0644);
    if (en.type == AE_IFLNK) archive_entry_set_symlink(e, "/etc/passwd");
    archive_entry_set_size(e, en.type == AE_IFREG ? static_cast<la_int64_t>(en.content.size()) : 0);
    archive_write_header(a, e);
    if (en.type == AE_IFREG) archive_write_data(a, en.content.data(), en.content.size());
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

  // A second open keeps a second backup beside the first.
  r = talvern::OpenStudy(ws, study, true);
  EXPECT_EQ(std::distance(fs::directory_iterator(ws.dir() / talvern::kStudyBackupFolder),
                          fs::directory_iterator()), 2);

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

TEST(Study, RecentStudiesKeepTheLastFourWithoutRepeats) {
  std::vector<std::string> list;
  for (const char* f : {"a", "b", "c", "d", "e", "c"}) list = talvern::push_recent_study(list, f);
  EXPECT_EQ(list, (std::vector<std::string>{"c", "e", "d", "b"}));
}

}  // namespace
