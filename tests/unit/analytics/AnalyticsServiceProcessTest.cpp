#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "analytics/AnalyticsService.h"
#include "ServiceFixture.h"
#include "report/BlockTable.h"

namespace {

namespace fs = std::filesystem;
using qrn::analytics::EventsGroup;

// A fresh folder of the test's own, removed afterwards; the working
// directory points into it while the test runs.
class AnalyticsServiceProcess : public ServiceFixture {
 protected:
  AnalyticsServiceProcess() {
    folder = fs::temp_directory_path() / ("dromika-process-" + std::to_string(std::random_device{}()));
    fs::create_directories(folder);
    previous = fs::current_path();
    fs::current_path(folder);
  }
  ~AnalyticsServiceProcess() override {
    fs::current_path(previous);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }

  static std::string Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  fs::path folder;
  fs::path previous;
};

TEST_F(AnalyticsServiceProcess, NothingSelectedGivesTheHeadAndTheEndTag) {
  service->SaveTo(L"web service");
  uploadResult = qtl::status::error(L"HTTP 500");
  const qtl::status result = service->Process();
  EXPECT_EQ(result.text(), L"HTTP 500");  // the uploader's own status, unchanged
  ASSERT_EQ(uploads.size(), 1u);
  EXPECT_EQ(uploads[0], Head() + L"</dromika>\r\n");
  EXPECT_TRUE(lines.empty());
}

TEST_F(AnalyticsServiceProcess, UploadsGroupsWithCrLfAndPrintsNothing) {
  AdvanceMs(15);
  service->TrackEvent(L"session.init");
  service->StartGroup(L"project");
  service->SetDataPoint(L"files", L"12");
  service->EndGroup();
  service->AddStandardGroup(EventsGroup);
  service->SaveTo(L"web service");
  EXPECT_TRUE(service->Process().ok());
  ASSERT_EQ(uploads.size(), 1u);
  EXPECT_EQ(uploads[0], Head() +
                            L"<project files=\"12\" />\r\n"
                            L"<events>\r\n"
                            L"  <event name=\"session.init\" eventtime=\"0d 0:00:00.015\" />\r\n"
                            L"</events>\r\n"
                            L"</dromika>\r\n");
  EXPECT_TRUE(lines.empty());
}

TEST_F(AnalyticsServiceProcess, SavesAFileWithCrLfAndNoLoneCr) {
  service->StartGroup(L"note");
  service->SetDataPoint(L"text", L"line1\r\nline2 \u00e9");
  service->EndGroup();
  const fs::path path = folder / "out.xml";
  service->SaveTo(path.wstring());
  EXPECT_TRUE(service->Process().ok());
  EXPECT_TRUE(uploads.empty());
  EXPECT_EQ(lines, std::vector<std::wstring>{L"Saving to " + path.wstring()});
  const std::string bytes = Bytes(path);
  EXPECT_EQ(bytes,
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
            "<dromika version='10.2' versionDisplay='10.2.0.7'>\r\n"
            "<note text=\"line1&#013;\r\nline2 &#233;\" />\r\n"
            "</dromika>\r\n");
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r') {
      EXPECT_EQ(bytes[i + 1], '\n') << i;
    }
    if (bytes[i] == '\n') {
      EXPECT_EQ(bytes[i - 1], '\r') << i;
    }
  }
}

TEST_F(AnalyticsServiceProcess, OnlyTheExactWebServiceTargetUploads) {
  for (const wchar_t* target : {L"Web Service", L"web service ", L"web service.xml"}) {
    service->SaveTo(target);
    EXPECT_TRUE(service->Process().ok()) << target;
    EXPECT_TRUE(fs::exists(folder / target)) << target;
  }
  EXPECT_TRUE(uploads.empty());
}

TEST_F(AnalyticsServiceProcess, AnUnwritablePathGivesTheUnableToSaveStatus) {
  const std::wstring path = (folder / "missing" / "out.xml").wstring();
  service->SaveTo(path);
  const qtl::status result = service->Process();
  ASSERT_FALSE(result.ok());
  const std::wstring prefix = L"Unable to save to " + path + L": ";
  EXPECT_EQ(result.get()->message.compare(0, prefix.size(), prefix), 0) << result.get()->message;
  EXPECT_GT(result.get()->message.size(), prefix.size());
  EXPECT_EQ(result.get()->file, "");
  EXPECT_EQ(result.get()->line, -1);
  EXPECT_EQ(lines, std::vector<std::wstring>{L"Saving to " + path});
}

TEST_F(AnalyticsServiceProcess, NoTargetTriesTheEmptyPath) {
  const qtl::status result = service->Process();
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.get()->message.rfind(L"Unable to save to : ", 0), 0u) << result.get()->message;
}

TEST_F(AnalyticsServiceProcess, ASecondProcessRunsTheSelectedBlocksAfresh) {
  const BlockMask mask = 0x10;
  size_t selected = 0;
  for (const auto& row : BlockTable()) selected += (row.bits & mask) ? 1 : 0;

  service->AddStandardGroup(mask);
  service->SaveTo(L"web service");
  ASSERT_TRUE(service->Process().ok());
  EXPECT_EQ(lines.size(), selected);
  const std::wstring blocks = service->Builder().BlockText();

  service->StartGroup(L"later");
  service->EndGroup();
  lines.clear();
  ASSERT_TRUE(service->Process().ok());
  EXPECT_EQ(lines.size(), selected);
  ASSERT_EQ(uploads.size(), 2u);
  EXPECT_EQ(uploads[0], Head() + blocks + L"</dromika>\r\n");
  EXPECT_EQ(uploads[1], Head() + L"<later />\r\n" + blocks + L"</dromika>\r\n");
}

TEST_F(AnalyticsServiceProcess, AGroupLeftOpenStaysOpen) {
  service->StartGroup(L"open");
  service->SetDataPoint(L"k", L"v");
  service->SaveTo(L"web service");
  ASSERT_TRUE(service->Process().ok());
  EXPECT_EQ(uploads[0], Head() + L"<open k=\"v\"</dromika>\r\n");
}

}  // namespace
