// Saves of the user's files: none reaches the work-space, by whatever name,
// and none leaves a temporary beside the file.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "workspace/user_save.h"

namespace talvern {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::write_file;

// Every entry under `dir` with its content, or where a link leads.
std::map<std::string, std::string> tree(const fs::path& dir) {
  std::map<std::string, std::string> all;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    const std::string name = e.path().lexically_relative(dir).string();
    if (e.is_symlink())
      all[name] = "-> " + fs::read_symlink(e.path()).string();
    else
      all[name] = e.is_regular_file() ? read_file(e.path()) : "(folder)";
  }
  return all;
}

std::vector<std::string> names_in(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

struct Saves : ::testing::Test {
  test::TempDir tmp;
  const fs::path ws = tmp.file("ws"), out = tmp.file("out");
  void SetUp() override {
    fs::create_directories(ws / "Study_Backups");
    fs::create_directory(out);
    write_file(ws / "RIXSEXP.DAT", "7000\t1\n");
    write_file(ws / "Conventional_XAFS.DAT", "7000\t2\n");
    write_file(ws / ".talvern.lock", "1 host\n");
    write_file(ws / "Study_Backups" / "old.talvern-study", "study");
  }
};

// Each name that reaches the work-space is refused with the file named and
// nothing written, the work-space and the links to it as they were; the
// names beside it are saved.
TEST_F(Saves, NoNameReachesTheWorkSpace) {
  fs::create_directory_symlink(ws, out / "to-ws");
  fs::create_symlink(ws / "RIXSEXP.DAT", out / "link.DAT");
  fs::create_hard_link(ws / "RIXSEXP.DAT", out / "hard.DAT");
  fs::create_symlink(out / "kept.DAT", ws / "leads-out.DAT");
  write_file(out / "kept.DAT", "kept\n");
  const fs::path refused[] = {
      ws / "RIXSEXP.DAT",                       // the measurement
      ws / "Conventional_XAFS.DAT",             //
      ws / ".talvern.lock",                     // the lock: gone when it is released
      ws / "Study_Backups" / "new.DAT",         // deeper, not made yet
      ws / "Study_Backups" / "old.talvern-study",
      ws / "new" / "deeper.DAT",                // in a folder not made yet
      ws,                                       // the folder itself
      out / "to-ws" / "new.DAT",                // a linked folder, the file not made yet
      out / ".." / "ws" / "new.DAT",            //
      out / "link.DAT",                         // a link to a work-space file
      out / "hard.DAT",                         // the same file under another name
      ws / "leads-out.DAT",                     // a link of the work-space that leads out
  };
  const auto ws_before = tree(ws), out_before = tree(out);
  for (const fs::path& file : refused) {
    const std::string error = work_space_target_error(ws, file);
    EXPECT_TRUE(error.starts_with("ERROR!!\r\n" + file.string() + "\r\n")) << error;
    const UserSave save = save_user_file(ws, file, "written\n");
    EXPECT_FALSE(save) << file;
    EXPECT_EQ(save.refusal, error);
    EXPECT_EQ(tree(ws), ws_before) << file;
    EXPECT_EQ(tree(out), out_before) << file;
  }
  EXPECT_NE(work_space_target_error(ws, out / "hard.DAT").find("is the same file as\r\n " +
                                                               (ws / "RIXSEXP.DAT").string()),
            std::string::npos);

  // Beside the work-space: a folder whose name begins as its own, its parent.
  fs::create_directory(tmp.file("ws2"));
  for (const fs::path& file : {tmp.file("ws2") / "a.DAT", tmp.file("a.DAT"), out / "kept.DAT"}) {
    EXPECT_EQ(work_space_target_error(ws, file), "") << file;
    ASSERT_TRUE(save_user_file(ws, file, "written\n")) << file;
    EXPECT_EQ(read_file(file), "written\n");
  }
}

// A save that fails removes its temporary; a temporary a killed save of the
// same file left is removed by the next save, unless a save into the
// folder is under way.
TEST_F(Saves, NoTemporaryIsLeftBesideTheFile) {
  // The rename fails: a folder of that name.
  fs::create_directories(out / "busy.DAT" / "inside");
  EXPECT_FALSE(save_user_file(ws, out / "busy.DAT", "x\n"));
  EXPECT_EQ(names_in(out), std::vector<std::string>{"busy.DAT"});
  // The write fails: the file would be larger than the process may write.
  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 4;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const UserSave big = save_user_file(ws, out / "big.DAT", "more than four bytes\n");
  const int reason = errno;
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);
  EXPECT_FALSE(big);
  EXPECT_EQ(reason, EFBIG);
  EXPECT_EQ(names_in(out), std::vector<std::string>{"busy.DAT"});

  // Left by killed saves: of this file, of another, and a name that is no
  // temporary's.
  for (const char* name : {".r.DAT.a1B2c3", ".r.DAT.Zz9Zz9", ".q.DAT.a1B2c3", ".r.DAT.a1B2c3d"})
    write_file(out / name, "part");
  ASSERT_TRUE(save_user_file(ws, out / "r.DAT", "new\n"));
  EXPECT_EQ(names_in(out),
            (std::vector<std::string>{".q.DAT.a1B2c3", ".r.DAT.a1B2c3d", "busy.DAT", "r.DAT"}));

  // Another save into the folder is under way: its temporary stays.
  write_file(out / ".r.DAT.live01", "part");
  const int other = ::open(out.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_SH), 0);
  ASSERT_TRUE(save_user_file(ws, out / "r.DAT", "again\n"));
  EXPECT_TRUE(fs::exists(out / ".r.DAT.live01"));
  ::close(other);
  ASSERT_TRUE(save_user_file(ws, out / "r.DAT", "once more\n"));
  EXPECT_FALSE(fs::exists(out / ".r.DAT.live01"));
  EXPECT_EQ(read_file(out / "r.DAT"), "once more\n");
}

}  // namespace
}  // namespace talvern
