// What a log line may hold: whatever a request brought cannot break a line
// in two, forge a field, or make the JSON unreadable.
#include <gtest/gtest.h>

#include "collector/base/Log.h"

namespace collector {
namespace {

TEST(Log, JsonAndTextLinesKeepHostileValuesInsideTheirField) {
  const std::string hostile = "a\"b\\c\nforged=1 \x01\xff\xc3\xa9";
  LogLine line("request");
  line.Text("path", hostile).Number("status", 404).Text("empty", "").Text("plain", "/v1/health");

  SetLogFormat(LogFormat::kJson);
  const std::string json = line.Format();
  EXPECT_EQ(json.substr(json.find("\"event\"")),
            "\"event\":\"request\",\"path\":\"a\\\"b\\\\c\\u000aforged=1 \\u0001\\ufffd\xc3\xa9\",\"status\":404,"
            "\"empty\":\"\",\"plain\":\"/v1/health\"}");

  SetLogFormat(LogFormat::kText);
  const std::string text = line.Format();
  EXPECT_EQ(
      text.substr(text.find(" ") + 1),
      "request path=\"a\\\"b\\\\c\\u000aforged=1 \\u0001\\ufffd\xc3\xa9\" status=404 empty=\"\" plain=/v1/health");
  EXPECT_EQ(text.find('\n'), std::string::npos);
  SetLogFormat(LogFormat::kJson);
}

}  // namespace
}  // namespace collector
