// The small codecs at the collector's edges: JSON, times, sizes, addresses, gzip.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "collector/Gzip.h"
#include "collector/Json.h"
#include "collector/Options.h"
#include "collector/TimeText.h"
#include "collector/Tokens.h"
#include "testing/TempFolder.h"

namespace collector {
namespace {

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
  EXPECT_EQ(JsonWriter().Open().OpenArray("a").Open().Field("n", int64_t{1}).Close().Open().Close().CloseArray()
                .Field("x", std::optional<int64_t>()).Close().Text(),
            "{\"a\":[{\"n\":1},{}],\"x\":null}");
}

TEST(CollectorText, ReadsAndWritesUtcTimes) {
  const std::pair<const char*, std::optional<int64_t>> cases[] = {
      {"1970-01-01", 0},
      {"2026-12-06T10:38:22.123Z", 1796553502123},
      {"2026-12-06T10:38Z", 1796553480000},
      {"2026-12-06T10:38:22", 1796553502000},
      {"1796553502123", 1796553502123},
      {"2026-13-01", std::nullopt},
      {"2026-12-06T25:00", std::nullopt},
      {"yesterday", std::nullopt},
      {"2026-12-06T10:38:22.1Z", std::nullopt},
  };
  for (const auto& [text, ms] : cases) EXPECT_EQ(ParseUtc(text), ms) << text;
  EXPECT_EQ(FormatUtc(1796553502123), "2026-12-06T10:38:22.123Z");
}

TEST(CollectorText, ReadsSizesAndListenAddresses) {
  EXPECT_EQ(ParseSize("64M"), size_t{64} << 20);
  EXPECT_EQ(ParseSize("512k"), size_t{512} << 10);
  EXPECT_EQ(ParseSize("1000"), size_t{1000});
  for (const char* bad : {"", "0", "2G", "-1", "1T", "M"}) EXPECT_FALSE(ParseSize(bad)) << bad;

  const std::pair<const char*, bool> loopback[] = {
      {"127.0.0.1:8470", true}, {"127.1.2.3:1", true}, {"[::1]:80", true}, {"localhost:0", true},
      {"0.0.0.0:8470", false},  {"10.0.0.1:80", false}, {"[::]:80", false},
  };
  for (const auto& [text, isLoopback] : loopback) {
    sockaddr_storage address{};
    ASSERT_TRUE(ParseListen(text, address).ok()) << text;
    EXPECT_EQ(IsLoopback(address), isLoopback) << text;
  }
  for (const char* bad : {"8470", "host.example:80", "127.0.0.1:99999", "127.0.0.1:"}) {
    sockaddr_storage address{};
    EXPECT_FALSE(ParseListen(bad, address).ok()) << bad;
  }
}

TEST(CollectorText, GzipStopsAtTheLimitAndRefusesDamage) {
  const std::string zeros(1 << 20, '\0');
  const std::string bomb = Gzip(zeros);
  std::string out;
  EXPECT_EQ(GunzipAll(bomb, zeros.size(), out), GzipDecoder::Result::kDone);
  EXPECT_EQ(out, zeros);
  out.clear();
  EXPECT_EQ(GunzipAll(bomb, zeros.size() - 1, out), GzipDecoder::Result::kTooLarge);
  EXPECT_LE(out.size(), zeros.size());
  for (const std::string& bad : {bomb + "x", bomb.substr(0, bomb.size() / 2), std::string("plain text")}) {
    out.clear();
    EXPECT_NE(GunzipAll(bad, zeros.size(), out), GzipDecoder::Result::kDone);
  }
  std::string unpacked;
  ASSERT_TRUE(Unpack(Pack("\r\n\xc3\xa9"), unpacked).ok());
  EXPECT_EQ(unpacked, "\r\n\xc3\xa9");
  EXPECT_FALSE(Unpack("garbage", unpacked).ok());
}

TEST(CollectorText, AcceptsOnlyKnownBearerTokens) {
  testing::TempFolder folder;
  folder.Write(L"tokens", "# fleet\n  s3cret \n\nother\n");
  Tokens tokens;
  ASSERT_TRUE(tokens.Load((folder.Root() / "tokens").string()).ok());
  EXPECT_TRUE(tokens.Required());
  const std::pair<const char*, bool> cases[] = {
      {"Bearer s3cret", true}, {"Bearer other", true},    {"Bearer s3cre", false}, {"Bearer s3cretx", false},
      {"bearer s3cret", false}, {"Basic s3cret", false}, {"", false},             {"Bearer # fleet", false},
  };
  for (const auto& [header, accepted] : cases) EXPECT_EQ(tokens.Accepts(header), accepted) << header;
  folder.Write(L"empty", "# nothing\n");
  EXPECT_FALSE(Tokens().Load((folder.Root() / "empty").string()).ok());
}

}  // namespace
}  // namespace collector
