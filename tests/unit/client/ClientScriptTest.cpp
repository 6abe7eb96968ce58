#include "client/ClientScript.h"

#include <gtest/gtest.h>

#include "runtime/Sequence.h"
#include "unit/client/FakeServer.h"

namespace {

using testing_support::FakeServer;
using testing_support::Pair;

// The output line, and "!" before it when the line reports a failure.
std::string Serve(FakeServer& server, const std::string& line, bool raw = false) {
  std::string output;
  bool failed = false;
  EXPECT_TRUE(tally::script::RunLine(*server.client, line, raw, output, failed).ok()) << line;
  return failed ? "!" + output : output;
}

TEST(ClientScript, TypedLinesBecomeTypedCalls) {
  FakeServer server({{"TrackTimedEventStart", Pair("", "3")}});
  EXPECT_EQ(Serve(server, "TrackEvent\tsession.init"), "ok\t");
  EXPECT_EQ(Serve(server, "TrackValueEvent\tfile.open\t0x1F"), "ok\t");
  EXPECT_EQ(Serve(server, "TrackValueEvent\tfile.open\t4294967295"), "ok\t");
  EXPECT_EQ(Serve(server, "TrackTimedEventStart\tmesh;generate\r"), "ok\t3");
  EXPECT_EQ(Serve(server, "TrackTimedEventEnd\t3"), "ok\t");
  EXPECT_EQ(Serve(server, "SetExcludePII\tt"), "ok\t");
  EXPECT_EQ(Serve(server, "AddStandardGroup\t0x10000000"), "ok\t");
  EXPECT_EQ(Serve(server, "StartGroup\tproject"), "ok\t");
  EXPECT_EQ(Serve(server, "SetDataPoint\tfiles\t"), "ok\t");
  EXPECT_EQ(Serve(server, "EndGroup"), "ok\t");
  EXPECT_EQ(Serve(server, "SaveTo\tout.xml"), "ok\t");
  EXPECT_EQ(Serve(server, "Process"), "ok\tok");
  const std::vector<std::string> expected = {
      "TrackEvent(session.init)", "TrackValueEvent(file.open;31)", "TrackValueEvent(file.open;4294967295)",
      "TrackTimedEventStart(mesh&;generate)", "TrackTimedEventEnd(3)", "SetExcludePII(t)",
      "AddStandardGroup(268435456)", "StartGroup(project)", "SetDataPoint(files;)", "EndGroup()", "SaveTo(out.xml)",
      "Process()"};
  EXPECT_EQ(server.log->Take(), expected);
}

TEST(ClientScript, LinesThatDoNotFitTheirCallAreAnsweredWithoutSending) {
  FakeServer server;
  EXPECT_EQ(Serve(server, "TrackValueEvent\tx"),
            "!Wrong number of fields for TrackValueEvent: 2 arguments expected, 1 given\t");
  EXPECT_EQ(Serve(server, "EndGroup\t"), "!Wrong number of fields for EndGroup: 0 arguments expected, 1 given\t");
  EXPECT_EQ(Serve(server, "TrackTimedEventEnd\t-1"), "!Not a 32-bit number: \"-1\"\t");
  EXPECT_EQ(Serve(server, "TrackTimedEventEnd\t4294967296"), "!Not a 32-bit number: \"4294967296\"\t");
  EXPECT_EQ(Serve(server, "AddStandardGroup\t0x"), "!Not a 32-bit number: \"0x\"\t");
  EXPECT_EQ(Serve(server, "SetExcludePII\ttrue"), "!Not a flag (t or f): \"true\"\t");
  EXPECT_EQ(Serve(server, ""), "");
  EXPECT_EQ(Serve(server, "\r"), "");
  EXPECT_TRUE(server.log->Take().empty());
}

TEST(ClientScript, FailuresPrintTheStatusTextOnOneLine) {
  const std::string failure = qrn::grammar::EncodeStatus(qtl::status::error(L"Unable to save to a\tb:\r\nno"));
  FakeServer server({{"Process", Pair("", failure)}, {"SaveTo", Pair(failure, "")}});
  EXPECT_EQ(Serve(server, "Process"), "!ok\tUnable to save to a b:  no");
  EXPECT_EQ(Serve(server, "SaveTo\tx"), "!Unable to save to a b:  no\t");
  EXPECT_EQ(Serve(server, "Process", true), "!ok\tUnable to save to a b:  no;;;;;;;-1");
  EXPECT_EQ(Serve(server, "SaveTo\tx", true), "!Unable to save to a b:  no\t");
}

TEST(ClientScript, UnknownNamesAreSentWithTheirFieldsAsItems) {
  FakeServer server;
  std::string output;
  // The fake knows no such call: its worker answers with a failure.
  EXPECT_EQ(Serve(server, "Nope\ta;b\tc").rfind("!Unknown remote call: Nope\t", 0), 0u);
}

TEST(ClientScript, RawLinesSendTheRestOfTheLineUnchanged) {
  FakeServer server({{"TrackTimedEventStart", Pair("", "12")}});
  EXPECT_EQ(Serve(server, "TrackEvent\ta;b\tc&", true), "ok\t");
  EXPECT_EQ(Serve(server, "TrackTimedEventStart", true), "ok\t12");
  EXPECT_EQ(Serve(server, "EndGroup\t", true), "ok\t");
  EXPECT_EQ(server.log->Take(), (std::vector<std::string>{"TrackEvent(a;b\tc&)", "TrackTimedEventStart()", "EndGroup()"}));
}

TEST(ClientScript, ABrokenConnectionIsTheOnlyFailure) {
  FakeServer server;
  server.pipe.second->Close();
  std::string output = "stale";
  bool failed = false;
  EXPECT_FALSE(tally::script::RunLine(*server.client, "TrackEvent\tx", false, output, failed).ok());
  EXPECT_EQ(output, "");
}

TEST(ClientScript, NumbersAreDecimalOrHexadecimal) {
  uint32_t value = 0;
  EXPECT_TRUE(tally::script::ParseNumber("0", value));
  EXPECT_EQ(value, 0u);
  EXPECT_TRUE(tally::script::ParseNumber("0xFFFFFFFF", value));
  EXPECT_EQ(value, 0xFFFFFFFFu);
  EXPECT_TRUE(tally::script::ParseNumber("0X1a", value));
  EXPECT_EQ(value, 26u);
  EXPECT_TRUE(tally::script::ParseNumber("007", value));
  EXPECT_EQ(value, 7u);
  for (const char* bad : {"", "x", "0x", "+1", "-0", "1 ", " 1", "0x1G", "0x100000000", "12a"}) {
    EXPECT_FALSE(tally::script::ParseNumber(bad, value)) << bad;
  }
}

}  // namespace
