// The exposition text read back: every sample where its histogram puts it,
// buckets that only grow up to +Inf equal to the count, and label values
// that cannot end their quotes or their line.
#include <gtest/gtest.h>

#include <regex>

#include "collector/http/Metrics.h"

namespace collector {
namespace {

std::string Sample(const std::string& text, const std::string& series) {
  const size_t at = text.find("\n" + series + " ");
  return at == std::string::npos ? "" : text.substr(at + series.size() + 2, text.find('\n', at + 1) - at - series.size() - 2);
}

TEST(Metrics, HistogramsCountEachRequestInItsBucketAndLabelsStayQuoted) {
  Metrics metrics;
  for (const int64_t ms : {1, 5, 6, 700, 90000}) metrics.Request("/v1/documents", "POST", 201, ms);
  metrics.Refusal("a \"quoted\"\nreason\\");
  const std::string text = metrics.Text(42);
  const std::string h = "dromika_http_request_duration_seconds";
  EXPECT_EQ(Sample(text, h + "_bucket{le=\"0.005\"}"), "2");  // 1 and 5 ms: a bound holds what equals it
  EXPECT_EQ(Sample(text, h + "_bucket{le=\"0.01\"}"), "3");
  EXPECT_EQ(Sample(text, h + "_bucket{le=\"1\"}"), "4");
  EXPECT_EQ(Sample(text, h + "_bucket{le=\"30\"}"), "4");
  EXPECT_EQ(Sample(text, h + "_bucket{le=\"+Inf\"}"), "5");
  EXPECT_EQ(Sample(text, h + "_count"), "5");
  EXPECT_EQ(Sample(text, "dromika_http_requests_total{route=\"/v1/documents\",method=\"POST\",code=\"201\"}"), "5");
  EXPECT_EQ(Sample(text, "dromika_receiving_bytes"), "42");
  EXPECT_EQ(Sample(text, "dromika_refusals_total{reason=\"a \\\"quoted\\\"\\nreason\\\\\"}"), "1");
  // Each line a comment or `name{labels} value`, nothing spilling onto a line of its own.
  const std::regex line(R"((# (HELP|TYPE) .*)|([a-z_]+(\{([a-z]+="([^"\\]|\\.)*",?)+\})? -?[0-9.e+]+))");
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find('\n', at);
    EXPECT_TRUE(std::regex_match(text.substr(at, end - at), line)) << text.substr(at, end - at);
    at = end + 1;
  }
}

}  // namespace
}  // namespace collector
