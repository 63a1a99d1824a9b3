#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "support/temp_dir.h"
#include "workspace/file_names.h"
#include "workspace/lock.h"

namespace talvern {
namespace {

using State = WorkSpaceLock::State;
using test::read_file;
using test::TempDir;

std::string host() {
  char name[256] = {};
  ::gethostname(name, sizeof name - 1);
  return name;
}

// Two locks of one process conflict as those of two programs do (flock
// locks belong to the open file, not to the process).
TEST(WorkSpaceLock, TakenRefusedAndTakenAgainAfterRelease) {
  TempDir tmp;
  const WorkSpace ws(tmp.path());
  WorkSpaceLock first, second;
  ASSERT_EQ(first.acquire(ws), State::held);
  EXPECT_EQ(first.acquire(ws), State::held);  // again: still held, nothing changes
  EXPECT_EQ(read_file(tmp.file(files::kLock)), std::to_string(::getpid()) + " " + host() + "\n");

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(second.acquire(ws, std::chrono::milliseconds(300)), State::refused);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  EXPECT_FALSE(second.held());
  EXPECT_EQ(lock_refused_message(second),
            "CAUTION!! Another TALVERN is using this work-space\r\n(process " +
                std::to_string(::getpid()) + " on " + host() + ")");

  first.release();
  EXPECT_FALSE(std::filesystem::exists(tmp.file(files::kLock)));  // the work-space is left clean
  EXPECT_EQ(second.acquire(ws), State::held);
  EXPECT_EQ(first.acquire(ws), State::refused);
}

// A program killed while it holds the lock leaves its lock file; the next
// one takes the lock over and writes its own name into the file.
TEST(WorkSpaceLock, TakenOverFromAKilledHolderAndFromAStaleFile) {
  TempDir tmp;
  const WorkSpace ws(tmp.path());
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    WorkSpaceLock lock;
    const char got = lock.acquire(ws) == State::held ? 'y' : 'n';
    if (::write(ready[1], &got, 1) != 1) ::_exit(1);
    for (;;) ::pause();
  }
  char got = 0;
  ASSERT_EQ(::read(ready[0], &got, 1), 1);
  EXPECT_EQ(got, 'y');
  WorkSpaceLock mine;
  EXPECT_EQ(mine.acquire(ws), State::refused);
  EXPECT_EQ(mine.holder(), "process " + std::to_string(child) + " on " + host());
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  EXPECT_TRUE(std::filesystem::exists(tmp.file(files::kLock)));  // left by the killed holder
  EXPECT_EQ(mine.acquire(ws), State::held);
  mine.release();

  test::write_file(tmp.file(files::kLock), "999999999 elsewhere\n");  // nobody holds it
  EXPECT_EQ(mine.acquire(ws), State::held);
  EXPECT_EQ(read_file(tmp.file(files::kLock)), std::to_string(::getpid()) + " " + host() + "\n");
}

TEST(WorkSpaceLock, UnavailableWithoutADirectory) {
  TempDir tmp;
  WorkSpaceLock lock;
  EXPECT_EQ(lock.acquire(WorkSpace(tmp.file("missing"))), State::unavailable);
  test::write_file(tmp.file("plain"), "");
  EXPECT_EQ(lock.acquire(WorkSpace(tmp.file("plain"))), State::unavailable);
  EXPECT_FALSE(lock.held());
}

}  // namespace
}  // namespace talvern
