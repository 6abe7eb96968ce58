#include "runtime/UniqueFd_posix.h"

#include <fcntl.h>
#include <gtest/gtest.h>

namespace {

using sys::UniqueFd;

bool IsOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

TEST(UniqueFd, MovesResetsAndReleasesCloseOnlyWhatTheyReplace) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  UniqueFd kept(ends[1]);
  {
    UniqueFd first(ends[0]);
    UniqueFd second(std::move(first));
    EXPECT_FALSE(first);
    kept = std::move(second);  // closes the end it held
  }
  EXPECT_TRUE(kept.get() == ends[0] && IsOpen(ends[0]) && !IsOpen(ends[1]));
  EXPECT_TRUE(kept.release() == ends[0] && !kept.valid());
  kept.reset(ends[0]);
  EXPECT_EQ(kept.close(), 0);
  EXPECT_TRUE(!IsOpen(ends[0]) && kept.get() == -1);
}

}  // namespace
