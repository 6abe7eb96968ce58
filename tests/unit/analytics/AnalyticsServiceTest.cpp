#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>

#include "analytics/AnalyticsService.h"
#include "report/BlockTable.h"
#include "runtime/Str.h"
#include "testing/Fixture.h"
#include "testing/MemoryMachine.h"
#include "testing/TempFolder.h"

namespace {

using qrn::analytics::EventRecord;
using qrn::analytics::EventsGroup;

// The service on the in-memory machine, with a clock the test moves, an
// uploader that keeps what it is given, and its progress lines kept.
class Analytics : public ::testing::Test {
 protected:
  Analytics() {
    memory.program.versions[memory.program.modulePath] = L"10.2.0.7";
    service = std::make_unique<qrn::analytics::impl::AnalyticsService>(
        memory.machine(), [this] { return now; },
        [this](const std::string& document) {
          uploads.push_back(str::as_wstring(document));
          return uploadResult;
        },
        [this](const std::wstring& line) { lines.push_back(line); });
  }

  void AdvanceMs(int64_t ms) { now += std::chrono::milliseconds(ms); }
  std::wstring Groups() const { return str::as_wstring(service->Builder().GroupText()); }

  platform::MemoryMachine memory;
  std::chrono::nanoseconds now{std::chrono::hours(1000)};  // any epoch: only differences count
  std::vector<std::wstring> uploads;
  qtl::status uploadResult;
  std::vector<std::wstring> lines;  // the service's progress lines
  std::unique_ptr<qrn::analytics::impl::AnalyticsService> service;
};

TEST_F(Analytics, EventsGroupListsEveryEventWithItsWholeMillisecondTimes) {
  now += std::chrono::microseconds(15999);
  service->TrackEvent(L"session.init");
  AdvanceMs(5105);
  service->TrackValueEvent(L"file.open", 3);
  EXPECT_EQ(service->TrackTimedEventStart(L"mesh"), 2u);
  AdvanceMs(1200);
  service->TrackTimedEventEnd(1);  // any event can be ended, not only a timed one
  service->TrackTimedEventEnd(2);
  AdvanceMs(50);
  service->TrackTimedEventEnd(2);  // the later measurement wins
  for (unsigned int id : {EventRecord::NoValue, 3u, 0x7FFFFFFFu}) service->TrackTimedEventEnd(id);  // no such event
  service->TrackValueEvent(L"zero", 0);
  service->TrackValueEvent(L"none", EventRecord::NoValue);
  service->TrackValueEvent(L"one \"&<", 1);
  EXPECT_EQ(service->TrackTimedEventStart(L""), 6u);
  service->AddStandardGroup(EventsGroup);
  EXPECT_EQ(str::as_u8string(Groups()), testing::ReadFixture("analytics/events.xml"));
}

TEST(FormatElapsed, WritesDaysHoursMinutesSecondsAndMilliseconds) {
  const std::pair<int64_t, const wchar_t*> cases[] = {
      {0, L"0d 0:00:00.000"}, {3723004, L"0d 1:02:03.004"}, {86399999, L"0d 23:59:59.999"},
      {86400000, L"1d 0:00:00.000"}, {int64_t{400} * 86400000 + 59999, L"400d 0:00:59.999"},
      {int64_t{2000000} * 86400000 + 1, L"2000000d 0:00:00.001"}};
  for (const auto& [milliseconds, text] : cases) {
    EXPECT_EQ(qrn::analytics::FormatElapsed(milliseconds), text);
    char written[qrn::analytics::kMaxElapsedChars];  // the events group's own writer, to the same text
    EXPECT_EQ(std::string(written, qrn::analytics::WriteElapsed(written, milliseconds)), str::as_u8string(text));
  }
}

TEST_F(Analytics, GroupsNestEscapedAndTheEventsGroupIsASnapshotWrittenWhereItIsAsked) {
  service->AddStandardGroup(EventsGroup);  // no events: no group
  service->EndGroup();                     // no open group: ignored
  service->TrackEvent(L"a");
  service->StartGroup(L"x");
  service->EndGroup();
  service->EndGroup();
  service->AddStandardGroup(EventsGroup);
  service->TrackEvent(L"b");
  service->StartGroup(L"x");
  service->SetDataPoint(L"k", L"v \"q\" & <t>");
  service->StartGroup(L"y");
  service->EndGroup();
  service->AddStandardGroup(EventsGroup);
  service->EndGroup();
  for (unsigned int group : {0xAu, 0x10000001u, 0u}) service->AddStandardGroup(group);  // blocks: nothing written
  EXPECT_EQ(service->GroupMask(), 0x1000000Bu);
  EXPECT_EQ(str::as_u8string(Groups()), testing::ReadFixture("analytics/groups.xml"));
}

TEST_F(Analytics, NestingStopsAtTheBoundAndTheRefusalChangesNothing) {
  constexpr size_t kDepth = qrn::analytics::impl::AnalyticsService::kMaxGroupDepth;
  for (size_t i = 0; i < kDepth; ++i) service->StartGroup(L"g");
  service->TrackEvent(L"e");
  const std::wstring before = Groups();
  EXPECT_THROW(service->StartGroup(L"deeper"), qtl::status_exception);
  EXPECT_EQ(Groups(), before);
  EXPECT_EQ(service->Builder().GroupDepth(), kDepth);
  service->AddStandardGroup(EventsGroup);  // still written below the bound
  for (size_t i = 0; i < kDepth; ++i) service->EndGroup();
  EXPECT_NE(Groups().find(std::wstring(2 * (kDepth + 1), L' ') + L"<event name=\"e\""), std::wstring::npos);
  EXPECT_EQ(service->Builder().GroupDepth(), 0u);
}

const std::wstring kHead =
    L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<dromika version='10.2' versionDisplay='10.2.0.7'>\r\n";

// Relative targets land in a folder of the test's own.
class AnalyticsProcess : public Analytics {
 protected:
  AnalyticsProcess() { std::filesystem::current_path(folder.Root()); }
  ~AnalyticsProcess() override { std::filesystem::current_path(previous); }

  const std::filesystem::path previous = std::filesystem::current_path();
  testing::TempFolder folder;
};

TEST_F(AnalyticsProcess, SavesTheDocumentWithCrLfOrHandsItToTheUploaderForTheWebService) {
  service->StartGroup(L"note");
  service->SetDataPoint(L"text", L"line1\r\nline2 \u00e9");
  service->EndGroup();
  AdvanceMs(15);
  service->TrackEvent(L"session.init");
  service->AddStandardGroup(EventsGroup);
  const std::wstring path = folder.Path(L"out.xml");
  service->SaveTo(path);
  EXPECT_TRUE(service->Process().ok());
  std::string uploaded = testing::ReadFixture("analytics/saved.xml");
  EXPECT_EQ(folder.Read(L"out.xml"), uploaded);

  service->SaveTo(L"web service");
  uploadResult = qtl::status::error(L"HTTP 500");
  EXPECT_EQ(service->Process().text(), L"HTTP 500");  // the uploader's own status, unchanged
  // Only the file writer turns the line feed inside the value into CR LF.
  uploaded.erase(uploaded.find("&#013;\r\n") + 6, 1);
  EXPECT_EQ(uploads, std::vector<std::wstring>{str::as_wstring(uploaded)});
  EXPECT_EQ(lines, std::vector<std::wstring>{L"Saving to " + path});
}

TEST_F(AnalyticsProcess, OnlyTheExactWebServiceTargetUploadsAndAnUnwritablePathSaysWhy) {
  for (const wchar_t* target : {L"Web Service", L"web service ", L"web service.xml"}) {
    service->SaveTo(target);
    EXPECT_TRUE(service->Process().ok() && std::filesystem::exists(folder.Root() / target)) << target;
  }
  EXPECT_TRUE(uploads.empty());
  const std::wstring path = (folder.Root() / "missing" / "out.xml").wstring();
  service->SaveTo(path);
  const qtl::status result = service->Process();  // the reason after the colon: report_mode_test.py
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.text().rfind(L"Unable to save to " + path + L": ", 0), 0u) << result.text();
  EXPECT_EQ(result.text(), result.get()->message);  // no source stamp
}

TEST_F(AnalyticsProcess, EachProcessRunsTheSelectedBlocksAfreshAndLeavesAnOpenGroupOpen) {
  const BlockMask mask = 0x10;
  size_t selected = 0;
  for (const auto& row : BlockTable()) selected += (row.bits & mask) ? 1 : 0;
  service->AddStandardGroup(mask);
  service->SaveTo(L"web service");
  EXPECT_TRUE(service->Process().ok() && lines.size() == selected);
  const std::wstring blocks = str::as_wstring(service->Builder().BlockText());
  service->StartGroup(L"open");
  service->SetDataPoint(L"k", L"v");
  EXPECT_TRUE(service->Process().ok() && lines.size() == 2 * selected);
  EXPECT_EQ(uploads, (std::vector<std::wstring>{kHead + blocks + L"</dromika>\r\n",
                                                kHead + L"<open k=\"v\"" + blocks + L"</dromika>\r\n"}));
}

}  // namespace
