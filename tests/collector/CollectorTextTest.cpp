// The collector's text handling: the codecs at its edges (JSON, times, sizes,
// addresses, gzip) and the reader that turns a document into rows.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <tuple>

#include "collector/document/DocumentReader.h"
#include "collector/document/Compression.h"
#include "collector/http/Json.h"
#include "collector/Options.h"
#include "collector/document/TimeText.h"
#include "runtime/Gzip.h"

namespace collector {
namespace {

using Optional = std::optional<int64_t>;

TEST(CollectorText, QuotesEverythingItEchoes) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "\"plain\""},
      {"\"\\\n\r\t", "\"\\\"\\\\\\n\\r\\t\""},
      {"</script>&", "\"\\u003c/script\\u003e\\u0026\""},
      {std::string("\x01\x7f", 2), "\"\\u0001\\u007f\""},
      {"\xc3\xa9\xe2\x82\xac", "\"\xc3\xa9\xe2\x82\xac\""},
      {"\xff\xc3(\xed\xa0\x80", "\"\\ufffd\\ufffd(\\ufffd\\ufffd\\ufffd\""},
  };
  for (const auto& [text, quoted] : cases) EXPECT_EQ(Quote(text), quoted);
}

TEST(CollectorText, ReadsAndWritesUtcTimesAndElapsedTexts) {
  const std::pair<const char*, Optional> cases[] = {
      {"1970-01-01", 0},          {"2026-12-06T10:38:22.123Z", 1796553502123}, {"2026-12-06T10:38Z", 1796553480000},
      {"2026-12-06T10:38:22", 1796553502000}, {"1796553502123", 1796553502123}, {"2026-13-01", std::nullopt},
      {"2026-12-06T25:00", std::nullopt},     {"yesterday", std::nullopt},   {"2026-12-06T10:38:22.1Z", std::nullopt},
  };
  for (const auto& [text, ms] : cases) EXPECT_EQ(ParseUtc(text), ms) << text;
  EXPECT_EQ(FormatUtc(1796553502123), "2026-12-06T10:38:22.123Z");
  const std::pair<const char*, Optional> elapsed[] = {
      {"0d 0:00:00.000", 0},         {"0d 0:00:00.015", 15},   {"2d 3:04:05.006", 183845006},
      {"0d 0:00:00", std::nullopt},  {"", std::nullopt},       {"0d 0:00:00.000x", std::nullopt},
      {"-1d 0:00:00.000", std::nullopt},
  };
  for (const auto& [text, ms] : elapsed) EXPECT_EQ(ParseElapsed(text), ms) << text;
}

TEST(CollectorText, ReadsSizesAndListenAddresses) {
  const std::pair<const char*, std::optional<size_t>> sizes[] = {
      {"64M", size_t{64} << 20}, {"512k", size_t{512} << 10}, {"1000", 1000}, {"", std::nullopt}, {"0", std::nullopt},
      {"2G", std::nullopt},      {"-1", std::nullopt},        {"1T", std::nullopt}, {"M", std::nullopt},
  };
  for (const auto& [text, size] : sizes) EXPECT_EQ(ParseSize(text), size) << text;
  const std::pair<const char*, std::optional<bool>> listen[] = {  // loopback or not; nullopt: refused
      {"127.0.0.1:8470", true}, {"127.1.2.3:1", true},   {"[::1]:80", true},  {"localhost:0", true},
      {"0.0.0.0:8470", false},  {"10.0.0.1:80", false},  {"[::]:80", false},  {"8470", std::nullopt},
      {"host.example:80", std::nullopt}, {"127.0.0.1:99999", std::nullopt},   {"127.0.0.1:", std::nullopt},
  };
  for (const auto& [text, loopback] : listen) {
    sockaddr_storage address{};
    ASSERT_EQ(ParseListen(text, address).ok(), loopback.has_value()) << text;
    EXPECT_TRUE(!loopback || IsLoopback(address) == *loopback) << text;
  }
}

TEST(CollectorText, GzipStopsAtTheLimitAndRefusesDamage) {
  const std::string zeros(1 << 20, '\0');
  std::string bomb;
  ASSERT_TRUE(codec::Gzip(zeros, bomb));
  std::string out;
  EXPECT_TRUE(GunzipAll(bomb, zeros.size(), out).ok());
  EXPECT_EQ(out, zeros);
  out.clear();
  EXPECT_EQ(GunzipAll(bomb, zeros.size() - 1, out).code(), StatusCode::kTooLarge);
  EXPECT_LE(out.size(), zeros.size());
  for (const std::string& bad : {bomb + "x", bomb.substr(0, bomb.size() / 2), std::string("plain text")}) {
    out.clear();
    EXPECT_EQ(GunzipAll(bad, zeros.size(), out).code(), StatusCode::kInvalid);
  }
  EXPECT_FALSE(Unpack("garbage", out).ok());
}

const char kAnalytics[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<dromika version='1.0' versionDisplay='1.0.0.1'>\r\n"
    "<project files=\"12\" owner=\"a &amp; b\">\r\n  <sub k=\"v\" />\r\n  <events>\r\n"
    "    <event name=\"session.init\" eventtime=\"0d 0:00:00.015\" />\r\n"
    "    <event name=\"file.open\" value=\"3\" eventtime=\"0d 0:00:05.120\" elapsed=\"1d 1:01:01.200\" />\r\n"
    "  </events>\r\n</project>\r\n<system>\r\n  <wmi>\r\n    <Win32_ComputerSystem Name=\"PC-7\"/>\r\n  </wmi>\r\n"
    "</system>\r\n<disks/><networking/><registry/><products/><filesystem/><processes/>\r\n</dromika>\r\n";

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

}  // namespace
}  // namespace collector
