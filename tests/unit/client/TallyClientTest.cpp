#include "client/TallyClient.h"

#include <gtest/gtest.h>

#include "runtime/Sequence.h"
#include "runtime/Str.h"
#include "unit/client/FakeServer.h"

namespace {

using testing_support::FakeServer;
using testing_support::Pair;

std::string Message(const qtl::status& status) { return status.ok() ? "ok" : str::as_u8string(status.get()->message); }

TEST(TallyClient, EncodesArgumentsAsTheServerGrammarReadsThem) {
  FakeServer server({{"TrackTimedEventStart", Pair("", "0")}});
  tally::TallyClient& client = *server.client;
  uint32_t id = 99;
  qtl::status processed;
  EXPECT_TRUE(client.TrackEvent(L"session.init").ok());
  EXPECT_TRUE(client.TrackEvent(L"").ok());
  EXPECT_TRUE(client.TrackValueEvent(L"a;b&c", 0xFFFFFFFF).ok());
  EXPECT_TRUE(client.TrackTimedEventStart(L"\u00e9\u4e2d", id).ok());
  EXPECT_TRUE(client.TrackTimedEventEnd(7).ok());
  EXPECT_TRUE(client.SetExcludePII(true).ok());
  EXPECT_TRUE(client.SetExcludePII(false).ok());
  EXPECT_TRUE(client.AddStandardGroup(qrn::analytics::EventsGroup).ok());
  EXPECT_TRUE(client.StartGroup(L"project").ok());
  EXPECT_TRUE(client.SetDataPoint(L"", L"").ok());
  EXPECT_TRUE(client.SetDataPoint(L"files", L"12").ok());
  EXPECT_TRUE(client.EndGroup().ok());
  EXPECT_TRUE(client.SaveTo(L"web service").ok());
  EXPECT_TRUE(client.Process(processed).ok());
  const std::vector<std::string> expected = {
      "TrackEvent(session.init)", "TrackEvent()", "TrackValueEvent(a&;b&&c;4294967295)",
      "TrackTimedEventStart(\xC3\xA9\xE4\xB8\xAD)", "TrackTimedEventEnd(7)", "SetExcludePII(t)", "SetExcludePII(f)",
      "AddStandardGroup(268435456)", "StartGroup(project)", "SetDataPoint(;)", "SetDataPoint(files;12)", "EndGroup()",
      "SaveTo(web service)", "Process()"};
  EXPECT_EQ(server.log->Take(), expected);
}

TEST(TallyClient, DecodesStatusesAndValuesOfResults) {
  const std::string failure = qrn::grammar::EncodeStatus(qtl::status::error(L"Unable to save to x: denied"));
  FakeServer server({{"TrackTimedEventStart", Pair("", "42")},
                     {"Process", Pair("", failure)},
                     {"TrackEvent", Pair(qrn::grammar::EncodeStatus(qtl::status::error(L"full")), "")},
                     {"EndGroup", "not a pair"}});
  tally::TallyClient& client = *server.client;
  uint32_t id = 0;
  EXPECT_TRUE(client.TrackTimedEventStart(L"t", id).ok());
  EXPECT_EQ(id, 42u);
  qtl::status processed;
  EXPECT_TRUE(client.Process(processed).ok());
  EXPECT_EQ(Message(processed), "Unable to save to x: denied");
  EXPECT_EQ(Message(client.TrackEvent(L"e")), "full");
  EXPECT_EQ(Message(client.EndGroup()), "Malformed reply to EndGroup");
  EXPECT_TRUE(client.Connected());
}

TEST(TallyClient, ABrokenConnectionFailsEveryLaterCall) {
  FakeServer server;
  tally::TallyClient& client = *server.client;
  EXPECT_TRUE(client.TrackEvent(L"before").ok());
  server.pipe.second->Close();
  EXPECT_FALSE(client.TrackEvent(L"after").ok());
  EXPECT_FALSE(client.Connected());
  std::string result;
  EXPECT_FALSE(client.Call("TrackEvent", "", result).ok());
  int exitCode = -5;
  EXPECT_TRUE(client.Close(exitCode).ok());
  EXPECT_EQ(exitCode, 0);  // no server process to wait for
}

TEST(TallyClient, ARequestTooLargeForAFrameFailsAloneAndTheSessionGoesOn) {
  FakeServer server;
  tally::TallyClient& client = *server.client;
  const std::wstring value(5 << 20, L'v');
  EXPECT_EQ(Message(client.SetDataPoint(L"big", value)),
            "Request too large: SetDataPoint takes 5242898 bytes, at most 4194304 allowed");
  EXPECT_TRUE(client.Connected());
  EXPECT_TRUE(client.TrackEvent(L"after").ok());
  EXPECT_EQ(server.log->Take(), std::vector<std::string>{"TrackEvent(after)"});
}

TEST(TallyClient, RawCallSendsTheArgumentTextUnchanged) {
  FakeServer server;
  std::string result;
  ASSERT_TRUE(server.client->Call("TrackEvent", "a&;b;c", result).ok());
  EXPECT_EQ(result, ";");
  EXPECT_EQ(server.log->Take(), std::vector<std::string>{"TrackEvent(a&;b;c)"});
}

TEST(TallyClientWire, ResultTextsSplitIntoStatusAndValue) {
  qtl::status status;
  std::string value;
  EXPECT_TRUE(tally::wire::DecodeResult(";", status, value));
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(value, "");
  EXPECT_FALSE(tally::wire::DecodeResult("", status, value));
  EXPECT_FALSE(tally::wire::DecodeResult("a;b;c", status, value));
  EXPECT_FALSE(tally::wire::DecodeResult("bad status;0", status, value));
  EXPECT_EQ(tally::wire::Arguments(0u), "0");
  EXPECT_EQ(tally::wire::Arguments(std::wstring(L"x"), std::wstring()), "x;");
  EXPECT_EQ(tally::wire::Arguments(std::wstring()), "");
  EXPECT_EQ(tally::wire::Arguments(), "");
}

}  // namespace
