// The collector's text handling: the codecs at its edges (JSON, times, sizes,
// addresses, gzip) and the reader that turns a document into rows.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "collector/document/DocumentReader.h"
#include "collector/document/SaxFeed.h"
#include "collector/http/Json.h"
#include "collector/Options.h"
#include "collector/document/TimeText.h"

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
      {"-1d 0:00:00.000", std::nullopt}, {"0d 0:0:0.1", 1},  {"0d  0:00:01.000", 1000},
      {"0d 0:00:00.0001", std::nullopt},  {"123456789d 0:00:00.000", int64_t{123456789} * 86400000},
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

const char kAnalytics[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<dromika version='1.0' versionDisplay='1.0.0.1'>\r\n"
    "<project files=\"12\" owner=\"a &amp; b\">\r\n  <sub k=\"v\" />\r\n  <events>\r\n"
    "    <event name=\"session.init\" eventtime=\"0d 0:00:00.015\" />\r\n"
    "    <event name=\"file.open\" value=\"3\" eventtime=\"0d 0:00:05.120\" elapsed=\"1d 1:01:01.200\" />\r\n"
    "  </events>\r\n</project>\r\n<system>\r\n  <wmi>\r\n    <Win32_ComputerSystem Name=\"PC-7\"/>\r\n  </wmi>\r\n"
    "</system>\r\n<disks/><networking/><registry/><products/><filesystem/><processes/>\r\n</dromika>\r\n";

// Every row of a document as its batches hand them over, with the data
// points' group paths spelled out, and the size of the largest batch.
struct Gathered {
  Status status;
  DocumentSummary summary;
  std::vector<std::tuple<std::string, Optional, Optional, Optional>> events;
  std::vector<std::tuple<std::string, std::string, std::string>> points;
  std::vector<std::string> groups;  // paths, in group number order
  size_t batches = 0, largestBatch = 0, largestBatchBytes = 0;
};

Gathered ReadAll(std::string_view xml, DocumentReader::Limits limits = {}) {
  Gathered got;
  DocumentReader reader(xml, limits);
  RowBatch batch;
  bool done = false;
  for (int i = 0; i < 100000 && !done && got.status.ok(); ++i) {
    got.status = reader.Next(batch, done);
    EXPECT_EQ(batch.firstGroup, static_cast<int64_t>(got.groups.size()));
    EXPECT_EQ(batch.firstDataPoint, static_cast<int64_t>(got.points.size()));
    EXPECT_EQ(batch.firstEvent, static_cast<int64_t>(got.events.size()));
    size_t bytes = 0;
    for (const GroupRow& g : batch.groups) {
      got.groups.push_back(g.parent ? got.groups.at(static_cast<size_t>(*g.parent)) + "/" + g.name : g.name);
      bytes += g.name.size();
    }
    for (const DataPointRow& p : batch.dataPoints) {
      got.points.emplace_back(got.groups.at(static_cast<size_t>(p.group)), p.name, p.value);
      bytes += p.name.size() + p.value.size();
    }
    for (const EventRow& e : batch.events) got.events.emplace_back(e.name, e.value, e.eventTimeMs, e.elapsedMs);
    ++got.batches;
    got.largestBatch = std::max(got.largestBatch, batch.Rows());
    got.largestBatchBytes = std::max(got.largestBatchBytes, bytes);
  }
  EXPECT_TRUE(done || !got.status.ok());
  got.summary = reader.Summary();
  return got;
}

// Every report block, but with client data: an analytics document. Its machine's
// facts are checked through the service's answers (e2e_collector).
TEST(DocumentReader, TurnsAnAnalyticsDocumentIntoRows) {
  const Gathered got = ReadAll(kAnalytics);
  ASSERT_TRUE(got.status.ok()) << got.status.message();
  const DocumentSummary& s = got.summary;
  EXPECT_EQ(std::tie(s.state, s.kind, s.machine, s.groups, s.blocks, s.events),
            std::make_tuple(ParseState::kParsed, DocumentKind::kAnalytics, "PC-7", 2, 7, 2));
  EXPECT_EQ(got.events, (decltype(got.events){{"session.init", {}, 15, {}},
                                              {"file.open", 3, 5120, ((25 * 60 + 1) * 60 + 1) * 1000 + 200}}));
  EXPECT_EQ(got.points, (decltype(got.points){
                            {"project", "files", "12"}, {"project", "owner", "a & b"}, {"project/sub", "k", "v"}}));
  EXPECT_EQ(got.groups, (std::vector<std::string>{"project", "project/sub"}));  // each once, "events" holds none
}

// Attributes as the document names them: namespace declarations first,
// prefixes kept, references replaced.
TEST(DocumentReader, KeepsAttributeNamesAndValuesAsWritten) {
  const Gathered got = ReadAll("<dromika><app xmlns:x='urn:a' x:k='v' b='&amp;&#38;&lt;&#x263A;'/></dromika>");
  ASSERT_TRUE(got.status.ok()) << got.status.message();
  EXPECT_EQ(got.points, (decltype(got.points){
                            {"app", "xmlns:x", "urn:a"}, {"app", "x:k", "v"}, {"app", "b", "&&<\u263A"}}));
}

// Small batches yield the same rows as one large one, numbered on across
// batches; no batch passes its limits by more than one piece of input yields.
TEST(DocumentReader, HandsRowsOverInBoundedBatches) {
  std::string xml = "<dromika><app build='7'><empty><none/></empty><ui theme='dark' size='12'>";
  for (int i = 0; i < 400; ++i) {
    xml += "<pane n='" + std::to_string(i) + "'><tab title='" + std::string(30, 'x') + "'/></pane>";
  }
  xml += "<events>";
  for (int i = 0; i < 30; ++i) xml += "<event name='e" + std::to_string(i) + "'/>";
  xml += "</events></ui></app><disks><disk drive='C:'/></disks></dromika>";
  DocumentReader::Limits large;
  large.batchRows = 1 << 20;
  const Gathered whole = ReadAll(xml, large);
  ASSERT_TRUE(whole.status.ok()) << whole.status.message();
  EXPECT_EQ(whole.batches, 1u);
  EXPECT_EQ(whole.points.size(), 3u + 800u);
  EXPECT_EQ(whole.groups.size(), 2u + 800u);  // "empty" and "none" hold no data point: not stored
  EXPECT_EQ(whole.summary.disks, 1);
  DocumentReader::Limits small;
  small.batchRows = 5;
  small.batchBytes = 64;
  const Gathered batched = ReadAll(xml, small);
  ASSERT_TRUE(batched.status.ok()) << batched.status.message();
  EXPECT_EQ(std::tie(batched.points, batched.groups, batched.events),
            std::tie(whole.points, whole.groups, whole.events));
  EXPECT_GT(batched.batches, 40u);
  // A row takes at least four bytes of markup; a text at most its own.
  EXPECT_LE(batched.largestBatch, small.batchRows - 1 + SaxFeed::kPieceBytes / 4);
  EXPECT_LE(batched.largestBatchBytes, small.batchBytes - 1 + SaxFeed::kPieceBytes);
}

// Rows handed over before the fault are to be dropped; the summary says why.
TEST(DocumentReader, KeepsNoRowsOfADocumentFoundBrokenLate) {
  std::string xml = "<dromika><app>";
  // Past what the parser reads ahead, so that it finds the fault late.
  for (int i = 0; i < 5000; ++i) xml += "<g a='" + std::to_string(i) + "'/>";
  DocumentReader::Limits small;
  small.batchRows = 4;
  const Gathered got = ReadAll(xml + "</dromika>", small);
  ASSERT_TRUE(got.status.ok());
  EXPECT_GT(got.points.size(), 100u);
  EXPECT_EQ(std::tie(got.summary.state, got.summary.events, got.summary.groups),
            std::make_tuple(ParseState::kUnparsed, int64_t{0}, int64_t{0}));
  EXPECT_EQ(got.summary.message.rfind("line 1: ", 0), 0u) << got.summary.message;
  const Gathered other = ReadAll("<other><g a='1'/><g a='2'/></other>", small);
  EXPECT_EQ(std::tie(other.summary.state, other.summary.message),
            std::make_tuple(ParseState::kUnparsed, "the root element is not dromika"));
  EXPECT_TRUE(other.points.empty());
}

}  // namespace
}  // namespace collector
