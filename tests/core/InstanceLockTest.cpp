#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "core/platform/InstanceLock.h"
#include "tests/core/TempFolder.h"

namespace selvane {
namespace {

// Points the lock at a private folder so a running program is not touched.
class InstanceLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("XDG_RUNTIME_DIR")) savedRuntime_ = old;
    ::setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
  }
  void TearDown() override {
    if (savedRuntime_.empty())
      ::unsetenv("XDG_RUNTIME_DIR");
    else
      ::setenv("XDG_RUNTIME_DIR", savedRuntime_.c_str(), 1);
  }

  TempFolder runtime_;
  std::string savedRuntime_;
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
  ::unsetenv("XDG_RUNTIME_DIR");
  const char* oldTmp = std::getenv("TMPDIR");
  const std::string savedTmp = oldTmp ? oldTmp : "";
  ::setenv("TMPDIR", tmp.path().c_str(), 1);
  {
    InstanceLock first("SELVANE");
    EXPECT_TRUE(first.Acquired());
    EXPECT_EQ(first.Path(), tmp / ("SELVANE-" + std::to_string(::getuid()) + ".lock"));
    InstanceLock second("SELVANE");
    EXPECT_FALSE(second.Acquired());
  }
  if (oldTmp)
    ::setenv("TMPDIR", savedTmp.c_str(), 1);
  else
    ::unsetenv("TMPDIR");
}

}  // namespace
}  // namespace selvane
