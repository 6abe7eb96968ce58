#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "Common/sys_server_RemoteCallServer.h"
#include "analytics/IAnalyticsService.h"
#include "analytics/RemoteCallBinding.h"

namespace {

using sys::server::RemoteCallRegistry;
using sys::server::ServerFunctor;

class FakeWriter : public sys::message::IWriter {
 public:
  qtl::status Write(const std::string& text) override {
    texts.push_back(text);
    return failure;
  }
  std::vector<std::string> texts;
  qtl::status failure;
};

// A reply read back: the call's status and the value's text.
struct Reply {
  qtl::status status;
  std::string value;
};

Reply Parse(const std::string& text) {
  qrn::grammar::GrammarOfType<std::tuple<qtl::status, std::string>> grammar;
  grammar.Decode(text);
  return {std::get<0>(grammar.value), std::get<1>(grammar.value)};
}

qtl::status Failure(const std::wstring& message) { return qtl::status::error(message); }

template <class Sig>
std::string Serve(std::function<Sig> function, const std::string& arguments) {
  ServerFunctor<std::function<Sig>> functor(std::move(function));
  FakeWriter writer;
  functor(arguments, writer);
  EXPECT_EQ(writer.texts.size(), 1u);
  return writer.texts.empty() ? std::string() : writer.texts.back();
}

TEST(ServerFunctor, RepliesTheCallsStatusAndValue) {
  std::wstring seen;
  const std::string reply = Serve<unsigned int(std::wstring)>(
      [&](std::wstring name) {
        seen = name;
        return 7u;
      },
      "caf\xc3\xa9&;");
  EXPECT_EQ(seen, L"caf\u00e9;");
  EXPECT_EQ(reply, ";7");
  EXPECT_EQ(Serve<void(std::wstring, unsigned int)>([](std::wstring, unsigned int) {}, "a;1"), ";");
}

TEST(ServerFunctor, AFailingOperationAnswersItsStatusAndTheDefaultValue) {
  const Reply raised = Parse(Serve<unsigned int(std::wstring)>(
      [](std::wstring) -> unsigned int { throw qtl::status_exception(Failure(L"no more ids")); }, "x"));
  EXPECT_EQ(raised.status.get()->message, L"no more ids");
  EXPECT_EQ(raised.value, "0");

  const Reply plain = Parse(Serve<void(bool)>([](bool) { throw std::runtime_error("bad \xc3\xa9vent"); }, "t"));
  EXPECT_EQ(plain.status.text(), QrnError::unexpected_exception("bad \xc3\xa9vent").text());
  EXPECT_EQ(plain.value, "");
}

TEST(ServerFunctor, ProcessThatReturnsAFailureAnswersSuccessFirst) {
  const Reply reply = Parse(Serve<qtl::status()>([] { return Failure(L"Unable to save to x: denied"); }, ""));
  EXPECT_TRUE(reply.status.ok());
  EXPECT_EQ(qrn::grammar::DecodeStatus(reply.value).get()->message, L"Unable to save to x: denied");

  const Reply raised = Parse(
      Serve<qtl::status()>([]() -> qtl::status { throw qtl::status_exception(Failure(L"boom")); }, ""));
  EXPECT_EQ(raised.status.get()->message, L"boom");
  EXPECT_EQ(raised.value, "");  // the empty status
}

TEST(ServerFunctor, ASecondCallAnswersOnlyItsOwnOutcome) {
  bool fail = true;
  ServerFunctor<std::function<unsigned int(std::wstring)>> functor([&](std::wstring) -> unsigned int {
    if (fail) throw qtl::status_exception(Failure(L"first"));
    return 3;
  });
  FakeWriter writer;
  functor("a", writer);
  fail = false;
  functor("b", writer);
  ASSERT_EQ(writer.texts.size(), 2u);
  EXPECT_FALSE(Parse(writer.texts[0]).status.ok());
  EXPECT_EQ(writer.texts[1], ";3");
}

TEST(ServerFunctor, BadArgumentsRaiseWithoutCallingOrReplying) {
  int calls = 0;
  ServerFunctor<std::function<void(std::wstring, unsigned int)>> functor([&](std::wstring, unsigned int) { ++calls; });
  FakeWriter writer;
  for (const char* text : {"", "a", "a;1;2", "a;x", "a;1&"}) {
    EXPECT_THROW(functor(text, writer), qtl::status_exception) << text;
  }
  ServerFunctor<std::function<void()>> noArguments([&] { ++calls; });
  EXPECT_THROW(noArguments("x", writer), qtl::status_exception);
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(writer.texts.empty());
}

TEST(ServerFunctor, AFailedWriteRaisesStampedWithItsSource) {
  ServerFunctor<std::function<void()>> functor([] {});
  FakeWriter writer;
  writer.failure = Failure(L"pipe closed");
  try {
    functor("", writer);
    ADD_FAILURE() << "no exception";
  } catch (const qtl::status_exception& e) {
    EXPECT_EQ(e.get_status().get()->message, L"pipe closed");
    EXPECT_EQ(e.get_status().get()->file, std::string(stamps::kReplyWrite.file));
    EXPECT_EQ(e.get_status().get()->line, stamps::kReplyWrite.line);
  }
}

TEST(ServerFunctor, OtherExceptionsPassThrough) {
  ServerFunctor<std::function<void()>> functor([] { throw 42; });
  FakeWriter writer;
  EXPECT_THROW(functor("", writer), int);
  EXPECT_TRUE(writer.texts.empty());
}

TEST(ServerFunctor, FailureReplyPairsTheFailureWithTheDefaultValue) {
  const qtl::status failure = QrnError::syntax("a;b");
  const auto check = [&](const std::string& text, const std::string& value) {
    const Reply reply = Parse(text);
    EXPECT_EQ(reply.status.text(), failure.text());
    EXPECT_EQ(reply.value, value);
  };
  check(ServerFunctor<std::function<unsigned int(std::wstring)>>([](std::wstring) { return 5u; }).FailureReply(failure),
        "0");
  check(ServerFunctor<std::function<void(bool)>>([](bool) {}).FailureReply(failure), "");
  check(ServerFunctor<std::function<qtl::status()>>([] { return qtl::status(); }).FailureReply(failure), "");
}

TEST(RemoteCallRegistry, RegisteringANameTwiceKeepsTheSecond) {
  RemoteCallRegistry registry;
  std::string called;
  registry.Register<void()>("EndGroup", [&] { called = "first"; });
  registry.Register<void()>("EndGroup", [&] { called = "second"; });
  FakeWriter writer;
  (*registry.Find("EndGroup"))("", writer);
  EXPECT_EQ(called, "second");
}

// Writes down each call it receives, in a form a test can compare.
class RecordingService : public qrn::analytics::IAnalyticsService {
 public:
  std::vector<std::wstring> calls;
  qtl::status Process() override {
    Note(L"Process");
    return Failure(L"saved nowhere");
  }
  void TrackEvent(std::wstring name) override { Note(L"TrackEvent " + name); }
  void TrackValueEvent(std::wstring name, unsigned int value) override {
    Note(L"TrackValueEvent " + name + L" " + std::to_wstring(value));
  }
  unsigned int TrackTimedEventStart(std::wstring name) override {
    Note(L"TrackTimedEventStart " + name);
    return 41;
  }
  void TrackTimedEventEnd(unsigned int id) override { Note(L"TrackTimedEventEnd " + std::to_wstring(id)); }
  void SetExcludePII(bool flag) override { Note(flag ? L"SetExcludePII t" : L"SetExcludePII f"); }
  void AddStandardGroup(unsigned int group) override { Note(L"AddStandardGroup " + std::to_wstring(group)); }
  void SaveTo(const std::wstring& target) override { Note(L"SaveTo " + target); }
  void StartGroup(const std::wstring& name) override { Note(L"StartGroup " + name); }
  void SetDataPoint(const std::wstring& name, const std::wstring& value) override {
    Note(L"SetDataPoint " + name + L"=" + value);
  }
  void EndGroup() override { Note(L"EndGroup"); }

 private:
  void Note(std::wstring call) { calls.push_back(std::move(call)); }
};

TEST(MakeRemoteCallRegistry, BindsTheElevenNamesToTheService) {
  RecordingService service;
  const RemoteCallRegistry registry = sys::server::MakeRemoteCallRegistry(service);
  const std::pair<const char*, const char*> requests[] = {
      {"TrackEvent", "session.init"},  {"TrackValueEvent", "file.open;3"}, {"TrackTimedEventStart", "mesh"},
      {"TrackTimedEventEnd", "41"},    {"SetExcludePII", "t"},             {"AddStandardGroup", "138"},
      {"StartGroup", "project"},       {"SetDataPoint", "files;12"},       {"EndGroup", ""},
      {"SaveTo", "C:\\out.xml"},       {"Process", ""},
  };
  FakeWriter writer;
  for (const auto& [name, arguments] : requests) {
    auto functor = registry.Find(name);
    ASSERT_NE(functor, nullptr) << name;
    (*functor)(arguments, writer);
  }
  EXPECT_EQ(registry.Find("trackevent"), nullptr);
  const std::vector<std::wstring> expected = {
      L"TrackEvent session.init", L"TrackValueEvent file.open 3", L"TrackTimedEventStart mesh",
      L"TrackTimedEventEnd 41",   L"SetExcludePII t",             L"AddStandardGroup 138",
      L"StartGroup project",      L"SetDataPoint files=12",       L"EndGroup",
      L"SaveTo C:\\out.xml",      L"Process",
  };
  EXPECT_EQ(service.calls, expected);
  ASSERT_EQ(writer.texts.size(), 11u);
  EXPECT_EQ(writer.texts[2], ";41");
  EXPECT_EQ(writer.texts[0], ";");
  const Reply processed = Parse(writer.texts[10]);
  EXPECT_TRUE(processed.status.ok());
  EXPECT_EQ(qrn::grammar::DecodeStatus(processed.value).get()->message, L"saved nowhere");
}

}  // namespace
