#include "collector/DocumentReader.h"
#include "collector/Failure.h"

#include <gtest/gtest.h>

namespace collector {
namespace {

const char kAnalytics[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    "<dromika version='1.0' versionDisplay='1.0.0.1'>\r\n"
    "<project files=\"12\" owner=\"a &amp; b\">\r\n"
    "  <sub k=\"v\" />\r\n"
    "  <events>\r\n"
    "    <event name=\"session.init\" eventtime=\"0d 0:00:00.015\" />\r\n"
    "    <event name=\"file.open\" value=\"3\" eventtime=\"0d 0:00:05.120\" elapsed=\"1d 1:01:01.200\" />\r\n"
    "  </events>\r\n"
    "</project>\r\n"
    "<system>\r\n  <wmi>\r\n"
    "    <Win32_OperatingSystem Caption=\"Windows 10 Pro\" CSName=\"OSNAME\" Version=\"10.0.19045\"/>\r\n"
    "    <Win32_Processor Name=\"First CPU\"/>\r\n    <Win32_Processor Name=\"Second CPU\"/>\r\n"
    "    <Win32_ComputerSystem Name=\"PC-7\" NumberOfLogicalProcessors=\"8\" TotalPhysicalMemory=\"999\"/>\r\n"
    "  </wmi>\r\n"
    "  <memory rambytes=\"17179869184\" ram=\"16 GB\"/>\r\n"
    "</system>\r\n"
    "<disks>\n  <disk type=\"fixed\" drive=\"C:\\\" totalfreebytes=\"100\" totalavailablebytes=\"90\"/>\n</disks>\n"
    "</dromika>\r\n";

TEST(DocumentReader, TurnsAnAnalyticsDocumentIntoRows) {
  DocumentRows rows;
  ASSERT_TRUE(ReadDocument(kAnalytics, rows).ok());
  EXPECT_EQ(rows.state, ParseState::kParsed);
  EXPECT_EQ(rows.kind, DocumentKind::kAnalytics);
  EXPECT_EQ(rows.machine, "PC-7");
  EXPECT_EQ(rows.groups, 2);
  EXPECT_EQ(rows.blocks, 2);

  ASSERT_EQ(rows.events.size(), 2u);
  EXPECT_EQ(rows.events[0].name, "session.init");
  EXPECT_FALSE(rows.events[0].value.has_value());
  EXPECT_EQ(rows.events[0].eventTimeMs, 15);
  EXPECT_EQ(rows.events[1].value, 3);
  EXPECT_EQ(rows.events[1].eventTimeMs, 5120);
  EXPECT_EQ(rows.events[1].elapsedMs, ((25 * 60 + 1) * 60 + 1) * 1000 + 200);

  ASSERT_EQ(rows.dataPoints.size(), 3u);
  EXPECT_EQ(rows.dataPoints[1].groupPath, "project");
  EXPECT_EQ(rows.dataPoints[1].value, "a & b");
  EXPECT_EQ(rows.dataPoints[2].groupPath, "project/sub");

  const MachineFacts& facts = rows.facts;
  EXPECT_EQ(facts.osCaption, "Windows 10 Pro");
  EXPECT_EQ(facts.osVersion, "10.0.19045");
  EXPECT_EQ(facts.processor, "First CPU");
  EXPECT_EQ(facts.logicalProcessors, 8);
  EXPECT_EQ(facts.ramBytes, 17179869184);  // the memory line wins over the WMI figure
  ASSERT_EQ(facts.disks.size(), 1u);
  EXPECT_EQ(facts.disks[0].drive, "C:\\");
  EXPECT_EQ(facts.disks[0].freeBytes, 100);
  EXPECT_EQ(facts.disks[0].availableBytes, 90);
}

TEST(DocumentReader, CallsADocumentOfEveryBlockAndNoClientDataAReport) {
  const std::string blocks = "<networking/><system/><disks/><registry/><products/><filesystem/><processes/>";
  struct Case {
    std::string inner;
    DocumentKind kind;
  };
  const Case cases[] = {
      {blocks, DocumentKind::kReport},
      {"<networking/><system/>", DocumentKind::kAnalytics},
      {"<events><event name=\"x\"/></events>" + blocks, DocumentKind::kAnalytics},
  };
  for (const auto& c : cases) {
    DocumentRows rows;
    ASSERT_TRUE(ReadDocument("<dromika>" + c.inner + "</dromika>", rows).ok());
    EXPECT_EQ(rows.kind, c.kind) << c.inner;
  }
}

TEST(DocumentReader, KeepsIllFormedDocumentsUnparsedAndRefusesDangerousOnes) {
  std::string deep = "<dromika>";
  for (int i = 0; i < kMaxDocumentDepth + 1; ++i) deep += "<g>";
  struct Case {
    std::string xml;
    bool refused;
    std::string message;  // a part of the refusal or of the parser's message
  };
  const Case cases[] = {
      {"<dromika><a x=\"1\"></b></dromika>", false, "line 1: Opening and ending tag mismatch"},
      {"<dromika><project files=\"1\" <events/></dromika>", false, "line 1"},
      {"<dromika>&undefined;</dromika>", false, "undefined"},
      {"<other/>", false, "not dromika"},
      {"", false, ""},
      {"<!DOCTYPE d [<!ENTITY a \"aaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]><dromika>&b;</dromika>", true,
       "document type"},
      {"<!DOCTYPE d SYSTEM \"http://example.invalid/d.dtd\"><dromika/>", true, "document type"},
      {deep, true, "nested deeper"},
  };
  for (const auto& c : cases) {
    DocumentRows rows;
    const qtl::status s = ReadDocument(c.xml, rows);
    EXPECT_EQ(!s.ok(), c.refused) << c.xml;
    const std::string message = c.refused ? MessageOf(s) : rows.message;
    EXPECT_NE(message.find(c.message), std::string::npos) << c.xml << " gave " << message;
    if (!c.refused) {
      EXPECT_EQ(rows.state, ParseState::kUnparsed) << c.xml;
      EXPECT_TRUE(rows.events.empty() && rows.dataPoints.empty());
    }
  }
}

TEST(DocumentReader, ParsesElapsedTexts) {
  const std::pair<const char*, std::optional<int64_t>> cases[] = {
      {"0d 0:00:00.000", 0},         {"0d 0:00:00.015", 15},   {"2d 3:04:05.006", 183845006},
      {"0d 0:00:00", std::nullopt},  {"", std::nullopt},       {"0d 0:00:00.000x", std::nullopt},
      {"-1d 0:00:00.000", std::nullopt},
  };
  for (const auto& [text, ms] : cases) EXPECT_EQ(ParseElapsed(text), ms) << text;
}

}  // namespace
}  // namespace collector
