#include "TaskLock.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "TestFiles.h"

namespace {

// A second holder is refused and told which process holds the task; the
// lock goes with its holder, by release or by a kill.
TEST(TaskLockTest, OneHolderAtATimeAndNoneAfterAKill) {
  ScratchFolder folder("lock");
  const std::string tiles = folder.MakeFolder("job");
  {
    const TaskLock first(tiles);
    ASSERT_TRUE(first.Held()) << first.Refusal();
    const TaskLock second(tiles);
    EXPECT_FALSE(second.Held());
    EXPECT_EQ(second.Refusal(), "being downloaded or refreshed by " + std::string(program_invocation_short_name) +
                                    " (process " + std::to_string(::getpid()) + ")");
  }
  EXPECT_TRUE(TaskLock(tiles).Held()) << "a release lets it go";

  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const TaskLock held(tiles);
    const char byte = held.Held() ? 'y' : 'n';
    [[maybe_unused]] const ssize_t n = ::write(ready[1], &byte, 1);
    ::pause();
    ::_exit(0);
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  ::close(ready[0]);
  ::close(ready[1]);
  ASSERT_EQ(byte, 'y');
  const TaskLock refused(tiles);
  EXPECT_FALSE(refused.Held());
  EXPECT_NE(refused.Refusal().find("(process " + std::to_string(child) + ")"), std::string::npos) << refused.Refusal();
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(TaskLock(tiles).Held()) << "a killed holder refuses nobody";
}

}  // namespace
