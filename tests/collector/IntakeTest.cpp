// What uploads in flight hold of the memory budget: the bytes they sent,
// never a length they declared, and from one address at most a quarter.
#include <gtest/gtest.h>

#include <atomic>

#include "collector/http/Intake.h"
#include "collector/http/WorkQueue.h"

namespace collector {
namespace {

TEST(Budget, OneAddressHoldsAtMostAQuarter) {
  Budget budget(400);
  EXPECT_TRUE(budget.Hold("a", 100));
  EXPECT_FALSE(budget.Hold("a", 1));
  for (const char* other : {"b", "c"}) EXPECT_TRUE(budget.Hold(other, 100));
  EXPECT_FALSE(budget.Hold("d", 101));  // within its quarter, but past the whole
  EXPECT_TRUE(budget.Hold("d", 100));
  EXPECT_EQ(budget.Held(), 400u);
  budget.Release("a", 100);
  EXPECT_TRUE(budget.Hold("a", 100));
}

TEST(Upload, ChargesTheBytesReceivedAndReleasesThemWhenItEnds) {
  const Tokens none;
  Budget budget(4 * 1000);
  {
    Upload upload(budget, "a", 1000);
    EXPECT_FALSE(upload.Admit({"", "application/xml", "", "1000"}, none));
    EXPECT_EQ(budget.Held(), 0u);
    upload.Take("<dromika>");
    EXPECT_EQ(budget.Held(), 9u);
    Upload second(budget, "a", 1000);  // the same address: past its quarter, turned away
    second.Take(std::string(992, ' '));
    EXPECT_EQ(second.Verdict()->code, 503);
    EXPECT_EQ(budget.Held(), 9u);
  }
  EXPECT_EQ(budget.Held(), 0u);
}

TEST(WorkQueue, RunsEveryJobPostedBeforeItEnds) {
  std::atomic<int> ran{0};
  {
    WorkQueue queue(3);
    for (int i = 0; i < 100; ++i) queue.Post([&] { ++ran; });
  }
  EXPECT_EQ(ran, 100);
}

}  // namespace
}  // namespace collector
