#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <tuple>

#include "client/ClientScript.h"
#include "runtime/Frame.h"
#include "runtime/Str.h"

namespace {

// The server's end of the connection: notes each request as "Name(arguments)"
// and answers the reply set for its name, success with an empty value otherwise.
struct FakeServer : sys::message::IReaderWriterConnection {
  std::map<std::string, std::string> replies;
  std::vector<std::string> sent;
  bool broken = false;

  qtl::status GetStatus() override { return qtl::ok_status(); }
  void Close() override {}
  qtl::status Write(const std::string& request) override {
    std::string name, arguments;
    if (broken || !sys::message::frame::DecodeRequest(request, name, arguments)) return qtl::status::error(L"broken");
    sent.push_back(name + "(" + arguments + ")");
    return qtl::ok_status();
  }
  qtl::status Read(std::string& text) override {
    const std::string name = sent.back().substr(0, sent.back().find('('));
    text = replies.count(name) ? replies[name] : ";";
    return qtl::ok_status();
  }
};

// A reply text: the call's status and its value's text, as the server encodes them.
std::string Pair(const std::string& status, const std::string& value) { return tally::wire::Arguments(status, value); }

std::string Message(const qtl::status& status) { return status.ok() ? "ok" : str::as_u8string(status.get()->message); }

class Client : public ::testing::Test {
 protected:
  // The output line of a script line, "!" before it when it reports a failure.
  std::string Serve(const std::string& line, bool raw = false) {
    std::string output;
    bool failed = false;
    EXPECT_TRUE(tally::script::RunLine(client, line, raw, output, failed).ok()) << line;
    return failed ? "!" + output : output;
  }

  std::shared_ptr<FakeServer> server = std::make_shared<FakeServer>();
  tally::TallyClient client{server};
};

TEST_F(Client, TypedCallsEncodeArgumentsAsTheServerGrammarReadsThem) {
  server->replies["TrackTimedEventStart"] = Pair("", "0");
  uint32_t id = 99;
  qtl::status processed = qtl::status::error(L"stale");
  for (const qtl::status& result :
       {client.TrackEvent(L""), client.TrackValueEvent(L"a;b&c", 0xFFFFFFFF),
        client.TrackTimedEventStart(L"\u00e9\u4e2d", id), client.TrackTimedEventEnd(7), client.SetExcludePII(true),
        client.SetExcludePII(false), client.AddStandardGroup(qrn::analytics::EventsGroup), client.StartGroup(L"p"),
        client.SetDataPoint(L"", L""), client.SetDataPoint(L"files", L"12"), client.EndGroup(),
        client.SaveTo(L"web service"), client.Process(processed)}) {
    EXPECT_TRUE(result.ok()) << Message(result);
  }
  EXPECT_TRUE(id == 0 && processed.ok());
  EXPECT_EQ(server->sent,
            (std::vector<std::string>{"TrackEvent()", "TrackValueEvent(a&;b&&c;4294967295)",
                                      "TrackTimedEventStart(\xC3\xA9\xE4\xB8\xAD)", "TrackTimedEventEnd(7)",
                                      "SetExcludePII(t)", "SetExcludePII(f)", "AddStandardGroup(268435456)",
                                      "StartGroup(p)", "SetDataPoint(;)", "SetDataPoint(files;12)", "EndGroup()",
                                      "SaveTo(web service)", "Process()"}));
}

TEST_F(Client, DecodesTheStatusesAndValuesOfResults) {
  server->replies = {{"Process", Pair("", qrn::grammar::EncodeStatus(qtl::status::error(L"Unable to save")))},
                     {"TrackEvent", Pair(qrn::grammar::EncodeStatus(qtl::status::error(L"full")), "")},
                     {"EndGroup", "not a pair"},
                     {"StartGroup", "a bad status;"}};
  qtl::status processed;
  EXPECT_TRUE(client.Process(processed).ok() && Message(processed) == "Unable to save");
  EXPECT_EQ(Message(client.TrackEvent(L"e")), "full");
  EXPECT_EQ(Message(client.EndGroup()), "Malformed reply to EndGroup");
  EXPECT_EQ(Message(client.StartGroup(L"g")), "Malformed reply to StartGroup");
  EXPECT_TRUE(client.Connected());
}

TEST_F(Client, ABrokenConnectionFailsEveryLaterCallAndEveryLaterLine) {
  EXPECT_TRUE(client.TrackEvent(L"before").ok());
  server->broken = true;
  EXPECT_FALSE(client.TrackEvent(L"after").ok());
  EXPECT_FALSE(client.Connected());
  std::string output = "stale";
  bool failed = false;
  EXPECT_TRUE(!tally::script::RunLine(client, "TrackEvent\tx", false, output, failed).ok() && output.empty());
  int exitCode = -5;
  EXPECT_TRUE(client.Close(exitCode).ok() && exitCode == 0);  // no server process to wait for
}

TEST_F(Client, EachScriptLineGivesOneOutputLineAndOnlyLinesThatFitTheirCallAreSent) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"TrackValueEvent\tfile.open\t0x1F", "ok\t", false}, {"TrackTimedEventStart\tmesh;generate\r", "ok\t3", false},
      {"TrackTimedEventEnd\t4294967295", "ok\t", false}, {"SetDataPoint\tfiles\t", "ok\t", false},
      {"TrackValueEvent\tx", "!Wrong number of fields for TrackValueEvent: 2 arguments expected, 1 given\t", false},
      {"EndGroup\t", "!Wrong number of fields for EndGroup: 0 arguments expected, 1 given\t", false},
      {"TrackTimedEventEnd\t-1", "!Not a 32-bit number: \"-1\"\t", false},
      {"AddStandardGroup\t0x", "!Not a 32-bit number: \"0x\"\t", false},
      {"SetExcludePII\ttrue", "!Not a flag (t or f): \"true\"\t", false}, {"", "", false}, {"\r", "", false},
      // Raw lines send everything after the first TAB as it is.
      {"TrackEvent\ta;b\tc&", "ok\t", true}, {"TrackTimedEventStart", "ok\t3", true}, {"EndGroup\t", "ok\t", true}};
  server->replies["TrackTimedEventStart"] = Pair("", "3");
  for (const auto& [line, output, raw] : cases) EXPECT_EQ(Serve(line, raw), output) << line;
  EXPECT_EQ(server->sent,
            (std::vector<std::string>{"TrackValueEvent(file.open;31)", "TrackTimedEventStart(mesh&;generate)",
                                      "TrackTimedEventEnd(4294967295)", "SetDataPoint(files;)", "TrackEvent(a;b\tc&)",
                                      "TrackTimedEventStart()", "EndGroup()"}));
}

TEST_F(Client, ScriptFailuresPrintTheStatusTextOnOneLine) {
  const std::string failure = qrn::grammar::EncodeStatus(qtl::status::error(L"Unable to save to a\tb:\r\nno"));
  server->replies = {{"Process", Pair("", failure)}, {"SaveTo", Pair(failure, "")}};
  const std::string text = "Unable to save to a b:  no";
  EXPECT_EQ(Serve("Process") + "|" + Serve("Process", true), "!ok\t" + text + "|!ok\t" + text + ";;;;;;;-1");
  EXPECT_EQ(Serve("SaveTo\tx") + "|" + Serve("SaveTo\tx", true), "!" + text + "\t|!" + text + "\t");
}

// Holds every reply until the test opens the gate.
struct GatedServer : FakeServer {
  qtl::status Read(std::string& text) override {
    std::unique_lock<std::mutex> lock(mutex);
    entered = true;
    changed.notify_all();
    changed.wait(lock, [this] { return open; });
    return FakeServer::Read(text);
  }
  void WaitUntilEntered() {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return entered; });
  }
  void Open() {
    std::lock_guard<std::mutex> lock(mutex);
    open = true;
    changed.notify_all();
  }

  std::mutex mutex;
  std::condition_variable changed;
  bool entered = false, open = false;
};

TEST(QueuedClient, QueuedCallsKeepTheirOrderBehindABoundAndCallsWithAValueWaitForThem) {
  auto server = std::make_shared<GatedServer>();
  server->replies = {{"TrackTimedEventStart", Pair("", "5")},
                     {"StartGroup", Pair(qrn::grammar::EncodeStatus(qtl::status::error(L"full")), "")}};
  tally::TallyClient client(server, nullptr, {true, 3});
  EXPECT_TRUE(client.TrackEvent(L"1").ok());
  server->WaitUntilEntered();  // 1 is in flight, the rest wait: 2 and 3 are dropped for 5 and g
  for (const wchar_t* name : {L"2", L"3", L"4", L"5"}) EXPECT_TRUE(client.TrackEvent(name).ok());
  EXPECT_TRUE(client.StartGroup(L"g").ok());
  EXPECT_EQ(Message(client.SetDataPoint(L"big", std::wstring(5 << 20, L'v'))).substr(0, 17), "Request too large");
  server->Open();
  uint32_t id = 0;
  EXPECT_TRUE(client.TrackTimedEventStart(L"t", id).ok() && id == 5);
  EXPECT_TRUE(client.TrackEvent(L"6").ok());
  int exitCode = -1;
  EXPECT_EQ(Message(client.Close(exitCode)),
            "Queued calls dropped: 2 (the queue holds at most 3); "
            "queued calls failed: 1 (the first: StartGroup: full)");
  EXPECT_EQ(server->sent, (std::vector<std::string>{"TrackEvent(1)", "TrackEvent(4)", "TrackEvent(5)", "StartGroup(g)",
                                                    "TrackTimedEventStart(t)", "TrackEvent(6)"}));
  EXPECT_EQ(Message(client.TrackEvent(L"late")), "Not connected to the server");
}

TEST(ClientScript, NumbersAreDecimalOrHexadecimalAndFit32Bits) {
  uint32_t value = 0;
  const std::pair<const char*, uint32_t> numbers[] = {{"0", 0}, {"0xFFFFFFFF", 0xFFFFFFFF}, {"0X1a", 26}, {"007", 7}};
  for (const auto& [text, n] : numbers) EXPECT_TRUE(tally::script::ParseNumber(text, value) && value == n);
  for (const char* bad : {"", "x", "0x", "+1", "-0", "1 ", " 1", "0x1G", "0x100000000", "4294967296", "12a"}) {
    EXPECT_FALSE(tally::script::ParseNumber(bad, value)) << bad;
  }
}

}  // namespace
