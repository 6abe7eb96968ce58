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
    "  </events>\r\n</project>\r\n<system>\r\n  <wmi>\r\n    <Win32_ComputerSystem Name=\"PC-7\"/>\r\n  </wmi>\r\n"
    "</system>\r\n<disks/><networking/><registry/><products/><filesystem/><processes/>\r\n</dromika>\r\n";

using Optional = std::optional<int64_t>;

// Every report block, but with client data: an analytics document. Its machine's
// facts are checked through the service's answers (e2e_collector).
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
