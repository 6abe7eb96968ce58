#include "collector/DocumentReader.h"

#include <gtest/gtest.h>

#include <tuple>

namespace collector {
namespace {

const char kAnalytics[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<dromika version='1.0' versionDisplay='1.0.0.1'>\r\n"
    "<project files=\"12\" owner=\"a &amp; b\">\r\n  <sub k=\"v\" />\r\n  <events>\r\n"
    "    <event name=\"session.init\" eventtime=\"0d 0:00:00.015\" />\r\n"
    "    <event name=\"file.open\" value=\"3\" eventtime=\"0d 0:00:05.120\" elapsed=\"1d 1:01:01.200\" />\r\n"
    "  </events>\r\n</project>\r\n<system>\r\n  <wmi>\r\n"
    "    <Win32_OperatingSystem Caption=\"Windows 10 Pro\" CSName=\"OSNAME\" Version=\"10.0.19045\"/>\r\n"
    "    <Win32_Processor Name=\"First CPU\"/>\r\n    <Win32_Processor Name=\"Second CPU\"/>\r\n"
    "    <Win32_ComputerSystem Name=\"PC-7\" NumberOfLogicalProcessors=\"8\" TotalPhysicalMemory=\"999\"/>\r\n"
    "  </wmi>\r\n  <memory rambytes=\"17179869184\" ram=\"16 GB\"/>\r\n</system>\r\n"
    "<disks>\n  <disk type=\"fixed\" drive=\"C:\\\" totalfreebytes=\"100\" totalavailablebytes=\"90\"/>\n</disks>\n"
    "<networking/><registry/><products/><filesystem/><processes/>\r\n</dromika>\r\n";

using Optional = std::optional<int64_t>;

// Every report block, but with client data: an analytics document.
TEST(DocumentReader, TurnsAnAnalyticsDocumentIntoRows) {
  DocumentRows rows;
  ASSERT_TRUE(ReadDocument(kAnalytics, rows).ok());
  EXPECT_EQ(std::tie(rows.state, rows.kind, rows.machine, rows.groups, rows.blocks),
            std::make_tuple(ParseState::kParsed, DocumentKind::kAnalytics, "PC-7", 2, 7));
  using Event = std::tuple<std::string, Optional, Optional, Optional>;
  std::vector<Event> events;
  for (const EventRow& e : rows.events) events.emplace_back(e.name, e.value, e.eventTimeMs, e.elapsedMs);
  EXPECT_EQ(events, (std::vector<Event>{{"session.init", {}, 15, {}},
                                        {"file.open", 3, 5120, ((25 * 60 + 1) * 60 + 1) * 1000 + 200}}));
  std::vector<std::tuple<std::string, std::string, std::string>> points;
  for (const DataPointRow& p : rows.dataPoints) points.emplace_back(p.groupPath, p.name, p.value);
  EXPECT_EQ(points,
            (decltype(points){{"project", "files", "12"}, {"project", "owner", "a & b"}, {"project/sub", "k", "v"}}));

  const MachineFacts& facts = rows.facts;
  // The memory line wins over the WMI figure; the first processor names the machine's.
  EXPECT_EQ(std::tie(facts.osCaption, facts.osVersion, facts.processor, facts.logicalProcessors, facts.ramBytes),
            std::make_tuple("Windows 10 Pro", "10.0.19045", "First CPU", 8, 17179869184));
  ASSERT_EQ(facts.disks.size(), 1u);
  EXPECT_EQ(std::tie(facts.disks[0].drive, facts.disks[0].freeBytes, facts.disks[0].availableBytes),
            std::make_tuple("C:\\", 100, 90));
}

TEST(DocumentReader, ParsesElapsedTexts) {
  const std::pair<const char*, Optional> cases[] = {
      {"0d 0:00:00.000", 0},         {"0d 0:00:00.015", 15},   {"2d 3:04:05.006", 183845006},
      {"0d 0:00:00", std::nullopt},  {"", std::nullopt},       {"0d 0:00:00.000x", std::nullopt},
      {"-1d 0:00:00.000", std::nullopt},
  };
  for (const auto& [text, ms] : cases) EXPECT_EQ(ParseElapsed(text), ms) << text;
}

}  // namespace
}  // namespace collector
