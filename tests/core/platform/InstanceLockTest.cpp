// The lock that keeps one program running per user: held, released by a
// kill, and never taken from another user's file or something not a file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "core/platform/InstanceLock.h"
#include "tests/core/EnvironmentGuard.h"
#include "tests/core/TempFolder.h"

namespace selvane {
namespace {

// Points the lock at a private folder so a running program is not touched.
class InstanceLockTest : public ::testing::Test {
 protected:
  TempFolder runtime_;
  EnvironmentGuard runtimeGuard_{"XDG_RUNTIME_DIR", runtime_.path().c_str()};
};

TEST_F(InstanceLockTest, SecondLockFailsWhileFirstIsHeld) {
  {
    InstanceLock first("SELVANE");
    ASSERT_TRUE(first.Acquired());
    EXPECT_EQ(first.Path(), runtime_ / "SELVANE.lock");
    InstanceLock second("SELVANE");
    EXPECT_FALSE(second.Acquired());
    InstanceLock otherName("OTHER");
    EXPECT_TRUE(otherName.Acquired());
  }
  InstanceLock again("SELVANE");
  EXPECT_TRUE(again.Acquired());
}

TEST_F(InstanceLockTest, KilledHolderReleasesTheLock) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(ready[0]);
    InstanceLock held("SELVANE");
    const char state = held.Acquired() ? 'y' : 'n';
    [[maybe_unused]] const ssize_t n = ::write(ready[1], &state, 1);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char state = 0;
  ASSERT_EQ(::read(ready[0], &state, 1), 1);
  ::close(ready[0]);
  EXPECT_EQ(state, 'y');
  {
    InstanceLock whileHeld("SELVANE");
    EXPECT_FALSE(whileHeld.Acquired());
  }
  ::kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  InstanceLock afterKill("SELVANE");
  EXPECT_TRUE(afterKill.Acquired());
}

TEST_F(InstanceLockTest, WithoutRuntimeFolderUsesTemporaryFolderWithUserId) {
  TempFolder tmp;
  const EnvironmentGuard noRuntime("XDG_RUNTIME_DIR", nullptr),
      tmpDir("TMPDIR", tmp.path().c_str());
  InstanceLock first("SELVANE");
  EXPECT_TRUE(first.Acquired());
  EXPECT_EQ(first.Path(), tmp / ("SELVANE-" + std::to_string(::getuid()) + ".lock"));
  InstanceLock second("SELVANE");
  EXPECT_FALSE(second.Acquired());
}

// A lock file someone else owns is not ours: locking it would let that
// user keep the program from starting, or hold it open ourselves.
TEST_F(InstanceLockTest, AnotherUsersLockFileIsPassedOver) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can plant another user's file";
  TempFolder tmp;
  const EnvironmentGuard tmpDir("TMPDIR", tmp.path().c_str());
  const std::string planted = runtime_.Write("SELVANE.lock", "");
  ASSERT_EQ(::chown(planted.c_str(), 65534, 65534), 0);
  InstanceLock lock("SELVANE");
  EXPECT_TRUE(lock.Acquired());
  EXPECT_EQ(lock.Path(), tmp / ("SELVANE-" + std::to_string(::getuid()) + ".lock"));
}

// What a start makes of the lock, told from a child that a hang cannot
// keep: "guarded PATH", "unguarded: WHAT STDERR SAID" or "held"; empty when
// the child never came back.
std::string StartInChild() {
  int out[2];
  if (::pipe(out) != 0) return "no pipe";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(out[0]);
    ::alarm(20);  // a start that waits for ever ends here
    ::testing::internal::CaptureStderr();
    const InstanceLock lock("SELVANE");
    const std::string said = ::testing::internal::GetCapturedStderr();
    const std::string state = !lock.Acquired()      ? "held"
                              : lock.Path().empty() ? "unguarded: " + said
                                                    : "guarded " + lock.Path();
    [[maybe_unused]] const ssize_t n = ::write(out[1], state.data(), state.size());
    ::_exit(0);
  }
  ::close(out[1]);
  std::string state;
  char buffer[512];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
    state.append(buffer, static_cast<std::size_t>(n));
  ::close(out[0]);
  ::waitpid(child, nullptr, 0);
  return state;
}

// Only a regular file of this user is a lock: a FIFO (whose open would wait
// for a writer for ever), a folder or a link at the name is passed over for
// the next place, and with no place left the program starts unguarded and
// says so, rather than hang or never start.
TEST_F(InstanceLockTest, ANameThatIsNoRegularFileNeverHoldsTheStart) {
  TempFolder tmp;
  const EnvironmentGuard tmpDir("TMPDIR", tmp.path().c_str());
  const std::string inRuntime = runtime_ / "SELVANE.lock",
                    inTmp = tmp / ("SELVANE-" + std::to_string(::getuid()) + ".lock");
  const std::string target = tmp.Write("target", "");
  const std::function<int(const std::string&)> plants[] = {
      [](const std::string& at) { return ::mkfifo(at.c_str(), 0600); },
      [](const std::string& at) { return ::mkdir(at.c_str(), 0700); },
      [&](const std::string& at) { return ::symlink(target.c_str(), at.c_str()); }};
  for (const auto& plant : plants) {
    ASSERT_EQ(plant(inRuntime), 0);
    EXPECT_EQ(StartInChild(), "guarded " + inTmp);
    std::filesystem::remove(inTmp);
    ASSERT_EQ(plant(inTmp), 0);
    const std::string state = StartInChild();
    EXPECT_EQ(state.rfind("unguarded: Selvane: ", 0), 0u) << state;
    EXPECT_NE(state.find(inTmp), std::string::npos) << state;
    std::filesystem::remove(inRuntime);
    std::filesystem::remove(inTmp);
  }
}

}  // namespace
}  // namespace selvane
