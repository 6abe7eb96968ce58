#include <gtest/gtest.h>

#include "analytics/AnalyticsService.h"
#include "Common/EventNames.h"
#include "ServiceFixture.h"

namespace {

using qrn::analytics::EventRecord;
using qrn::analytics::EventsGroup;

using AnalyticsServiceEvents = ServiceFixture;
using AnalyticsServiceGroups = ServiceFixture;

TEST_F(AnalyticsServiceEvents, IdsCountEveryEventFromZero) {
  service->TrackEvent(L"a");
  service->TrackValueEvent(L"b", 5);
  EXPECT_EQ(service->TrackTimedEventStart(L"c"), 2u);
  EXPECT_EQ(service->TrackTimedEventStart(L""), 3u);
  const auto& events = service->Events();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].value, EventRecord::NoValue);
  EXPECT_EQ(events[1].value, 5u);
  EXPECT_EQ(events[2].value, EventRecord::NoValue);
  EXPECT_EQ(events[3].name, L"");
}

TEST_F(AnalyticsServiceEvents, TimesCountWholeMillisecondsFromConstruction) {
  AdvanceMs(15);
  now += std::chrono::microseconds(999);
  service->TrackEvent(L"a");
  AdvanceMs(5105);
  const unsigned int id = service->TrackTimedEventStart(L"b");
  AdvanceMs(1200);
  service->TrackTimedEventEnd(id);
  const auto& events = service->Events();
  EXPECT_EQ(events[0].eventtime, 15);
  EXPECT_FALSE(EventRecord::IsSet(events[0].elapsed));
  EXPECT_EQ(events[1].eventtime, 5120);
  EXPECT_EQ(events[1].elapsed, 1200);
}

TEST_F(AnalyticsServiceEvents, EndingAnIdThatNamesNoEventChangesNothing) {
  service->TrackTimedEventStart(L"a");
  AdvanceMs(10);
  service->TrackTimedEventEnd(EventRecord::NoValue);
  service->TrackTimedEventEnd(1);
  service->TrackTimedEventEnd(0x7FFFFFFF);
  ASSERT_EQ(service->Events().size(), 1u);
  EXPECT_FALSE(EventRecord::IsSet(service->Events()[0].elapsed));
}

TEST_F(AnalyticsServiceEvents, EndingTwiceKeepsTheLaterMeasurementAndPlainEventsCanEnd) {
  service->TrackEvent(L"plain");
  AdvanceMs(100);
  service->TrackTimedEventEnd(0);
  AdvanceMs(50);
  service->TrackTimedEventEnd(0);
  EXPECT_EQ(service->Events()[0].elapsed, 150);
}

TEST_F(AnalyticsServiceEvents, TheDefaultClockIsMonotonic) {
  static_assert(std::chrono::steady_clock::is_steady);
  qrn::analytics::impl::AnalyticsService real(memory.machine());
  for (int i = 0; i < 100; ++i) real.TrackTimedEventStart(L"e");
  real.TrackTimedEventEnd(0);
  int64_t previous = 0;
  for (const auto& event : real.Events()) {
    EXPECT_GE(event.eventtime, previous);
    previous = event.eventtime;
  }
  EXPECT_GE(real.Events()[0].elapsed, 0);
}

TEST_F(AnalyticsServiceGroups, EventsGroupFollowsTheDocumentedText) {
  AdvanceMs(15);
  service->TrackEvent(qrn::analytics::events::kSessionInit);
  AdvanceMs(5105);
  // A valued event that is ended gets an elapsed time like a timed one.
  service->TrackValueEvent(qrn::analytics::events::kFileOpen, 3);
  AdvanceMs(1200);
  service->TrackTimedEventEnd(1);
  service->AddStandardGroup(EventsGroup);
  EXPECT_EQ(service->Builder().GroupText(),
            L"<events>\r\n"
            L"  <event name=\"session.init\" eventtime=\"0d 0:00:00.015\" />\r\n"
            L"  <event name=\"file.open\" value=\"3\" eventtime=\"0d 0:00:05.120\" elapsed=\"0d 0:00:01.200\" />\r\n"
            L"</events>\r\n");
}

TEST_F(AnalyticsServiceGroups, ValuesZeroAndNoValueAreLeftOutAndNamesEscaped) {
  service->TrackValueEvent(L"zero", 0);
  service->TrackValueEvent(L"none", 0xFFFFFFFF);
  service->TrackValueEvent(L"one \"&<", 1);
  service->AddStandardGroup(EventsGroup);
  EXPECT_EQ(service->Builder().GroupText(),
            L"<events>\r\n"
            L"  <event name=\"zero\" eventtime=\"0d 0:00:00.000\" />\r\n"
            L"  <event name=\"none\" eventtime=\"0d 0:00:00.000\" />\r\n"
            L"  <event name=\"one &quot;&amp;&lt;\" value=\"1\" eventtime=\"0d 0:00:00.000\" />\r\n"
            L"</events>\r\n");
}

TEST_F(AnalyticsServiceGroups, EventsGroupIsASnapshotWrittenEachTimeItIsAsked) {
  service->AddStandardGroup(EventsGroup);
  EXPECT_EQ(service->Builder().GroupText(), L"");
  service->TrackEvent(L"a");
  service->AddStandardGroup(EventsGroup);
  service->TrackEvent(L"b");
  service->AddStandardGroup(EventsGroup);
  EXPECT_EQ(service->Builder().GroupText(),
            L"<events>\r\n  <event name=\"a\" eventtime=\"0d 0:00:00.000\" />\r\n</events>\r\n"
            L"<events>\r\n  <event name=\"a\" eventtime=\"0d 0:00:00.000\" />\r\n"
            L"  <event name=\"b\" eventtime=\"0d 0:00:00.000\" />\r\n</events>\r\n");
  EXPECT_EQ(service->GroupMask(), 0u);
}

TEST_F(AnalyticsServiceGroups, OtherNumbersOnlyGainBlockBits) {
  service->TrackEvent(L"a");
  service->AddStandardGroup(0xA);
  service->AddStandardGroup(0x80);
  EXPECT_EQ(service->GroupMask(), 0x8Au);
  service->AddStandardGroup(0x10000001);
  EXPECT_EQ(service->GroupMask(), 0x1000008Bu);
  service->AddStandardGroup(0);
  EXPECT_EQ(service->GroupMask(), 0x1000008Bu);
  EXPECT_EQ(service->Builder().GroupText(), L"");
}

TEST_F(AnalyticsServiceGroups, WritesNestedElementsWithEscapedValues) {
  service->StartGroup(L"a");
  service->EndGroup();
  service->StartGroup(L"a");
  service->SetDataPoint(L"k", L"v \"q\" & <t>");
  service->StartGroup(L"b");
  service->EndGroup();
  service->EndGroup();
  EXPECT_EQ(service->Builder().GroupText(),
            L"<a />\r\n"
            L"<a k=\"v &quot;q&quot; &amp; &lt;t&gt;\">\r\n"
            L"  <b />\r\n"
            L"</a>\r\n");
}

TEST_F(AnalyticsServiceGroups, EndWithNoOpenGroupIsIgnored) {
  service->EndGroup();
  service->StartGroup(L"a");
  service->EndGroup();
  service->EndGroup();
  service->StartGroup(L"b");
  service->EndGroup();
  EXPECT_EQ(service->Builder().GroupText(), L"<a />\r\n<b />\r\n");
}

TEST_F(AnalyticsServiceGroups, EventsGroupNestsInTheOpenGroup) {
  service->TrackEvent(L"e");
  service->StartGroup(L"run");
  service->AddStandardGroup(EventsGroup);
  service->EndGroup();
  EXPECT_EQ(service->Builder().GroupText(),
            L"<run>\r\n"
            L"  <events>\r\n"
            L"    <event name=\"e\" eventtime=\"0d 0:00:00.000\" />\r\n"
            L"  </events>\r\n"
            L"</run>\r\n");
}

TEST_F(AnalyticsServiceGroups, NestingStopsAtTheBoundAndTheRefusalChangesNothing) {
  constexpr size_t kDepth = qrn::analytics::impl::AnalyticsService::kMaxGroupDepth;
  for (size_t i = 0; i < kDepth; ++i) service->StartGroup(L"g");
  service->TrackEvent(L"e");
  const std::wstring before = service->Builder().GroupText();
  EXPECT_THROW(service->StartGroup(L"deeper"), qtl::status_exception);
  EXPECT_EQ(service->Builder().GroupText(), before);
  EXPECT_EQ(service->Builder().GroupDepth(), kDepth);
  service->AddStandardGroup(EventsGroup);  // still written below the bound
  for (size_t i = 0; i < kDepth; ++i) service->EndGroup();
  const std::wstring& text = service->Builder().GroupText();
  EXPECT_EQ(text.find(L"deeper"), std::wstring::npos);
  EXPECT_NE(text.find(std::wstring(2 * (kDepth + 1), L' ') + L"<event name=\"e\""), std::wstring::npos);
  EXPECT_EQ(text.substr(text.size() - 6), L"</g>\r\n");
  EXPECT_EQ(service->Builder().GroupDepth(), 0u);
}

}  // namespace
