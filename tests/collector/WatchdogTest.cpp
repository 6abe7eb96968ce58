// How long a sender has: the time-out from the start, plus a second per
// 64 KiB of body received.
#include <gtest/gtest.h>

#include <tuple>

#include "collector/http/Watchdog.h"

namespace collector {
namespace {

TEST(Watchdog, BodyBytesEarnTimeAtTheMinimumRate) {
  constexpr int64_t kKiB = 1024;
  const std::tuple<int64_t, int64_t, int64_t, int64_t> cases[] = {  // start, limit, bytes: deadline
      {5000, 30000, 0, 35000},          {5000, 30000, 64 * kKiB - 1, 35999},
      {5000, 30000, 64 * kKiB, 36000},  {0, 1000, 1024 * kKiB, 17000},
      {0, 30000, 2048 * 1024 * kKiB, 30000 + 32768 * 1000},
  };
  for (const auto& [start, limit, bytes, deadline] : cases) {
    EXPECT_EQ(Watchdog::DeadlineMs(start, limit, bytes), deadline) << bytes << " bytes";
  }
}

}  // namespace
}  // namespace collector
