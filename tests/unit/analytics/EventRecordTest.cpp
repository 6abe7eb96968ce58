#include <gtest/gtest.h>

#include "analytics/EventRecord.h"

namespace {

using qrn::analytics::EventRecord;
using qrn::analytics::FormatElapsed;

TEST(FormatElapsed, WritesDaysHoursMinutesSecondsAndMilliseconds) {
  EXPECT_EQ(FormatElapsed(0), L"0d 0:00:00.000");
  EXPECT_EQ(FormatElapsed(15), L"0d 0:00:00.015");
  EXPECT_EQ(FormatElapsed(1200), L"0d 0:00:01.200");
  EXPECT_EQ(FormatElapsed(3723004), L"0d 1:02:03.004");
  EXPECT_EQ(FormatElapsed(86399999), L"0d 23:59:59.999");
  EXPECT_EQ(FormatElapsed(86400000), L"1d 0:00:00.000");
  EXPECT_EQ(FormatElapsed(90061001), L"1d 1:01:01.001");
  EXPECT_EQ(FormatElapsed(int64_t{400} * 86400000 + 59999), L"400d 0:00:59.999");
}

TEST(EventRecord, NeitherZeroNorNoValueCountsAsAValue) {
  EventRecord record;
  for (unsigned int value : {0u, EventRecord::NoValue}) {
    record.value = value;
    EXPECT_FALSE(record.HasValue()) << value;
  }
  record.value = 1;
  EXPECT_TRUE(record.HasValue());
}

}  // namespace
