#include "runtime/UniqueFd_posix.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>

namespace {

using sys::UniqueFd;

bool IsOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }
bool IsClosed(int fd) { return ::fcntl(fd, F_GETFD) == -1 && errno == EBADF; }

TEST(UniqueFd, MovesCloseOnlyWhatTheyReplace) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  UniqueFd kept(ends[1]);
  {
    UniqueFd first(ends[0]);
    UniqueFd second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(second.get(), ends[0]);
    kept = std::move(second);  // closes the end it held
    EXPECT_TRUE(IsClosed(ends[1]));
  }
  EXPECT_TRUE(IsOpen(ends[0]));
  EXPECT_EQ(kept.get(), ends[0]);
}

TEST(UniqueFd, ResetClosesAndReleaseGivesUp) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  int released = -1;
  {
    UniqueFd owner(ends[0]);
    owner.reset(ends[1]);
    EXPECT_TRUE(IsClosed(ends[0]));
    released = owner.release();
    EXPECT_FALSE(owner.valid());
  }
  ASSERT_EQ(released, ends[1]);
  EXPECT_TRUE(IsOpen(released));
  UniqueFd closer(released);
  EXPECT_EQ(closer.close(), 0);
  EXPECT_TRUE(IsClosed(released));
  EXPECT_EQ(closer.get(), -1);
}

}  // namespace
