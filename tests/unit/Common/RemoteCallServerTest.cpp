#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "Common/sys_server_RemoteCallServer.h"

namespace {

using sys::server::ServerFunctor;

struct FakeWriter : sys::message::IWriter {
  std::vector<std::string> texts;
  qtl::status failure;
  qtl::status Write(const std::string& text) override {
    texts.push_back(text);
    return failure;
  }
};

// The reply text of an outcome: the call's status, then the value's text.
std::string Reply(const qtl::status& status, const std::string& value) {
  qrn::grammar::GrammarOfType<std::tuple<qtl::status, std::string>> grammar;
  grammar.value = {status, value};
  std::string text;
  grammar.Encode(text);
  return text;
}

template <class Sig, class F>
std::string Serve(F function, const std::string& arguments) {
  FakeWriter writer;
  ServerFunctor<std::function<Sig>>(std::move(function))(arguments, writer);
  EXPECT_EQ(writer.texts.size(), 1u);
  return writer.texts.empty() ? std::string() : writer.texts.back();
}

// Successful replies and the arguments that reach the operation are checked end to end.
TEST(ServerFunctor, AFailureRepliesItsStatusAndTheDefaultValue) {
  const qtl::status full = qtl::status::error(L"no more ids");
  EXPECT_EQ(Serve<unsigned int(std::wstring)>([&](std::wstring) -> unsigned int { throw qtl::status_exception(full); },
                                              "x"),
            Reply(full, "0"));
  EXPECT_EQ(Serve<void(bool)>([](bool) { throw std::runtime_error("bad \xc3\xa9vent"); }, "t"),
            Reply(QrnError::unexpected_exception("bad \xc3\xa9vent"), ""));
  // Process: the status it returns is its value; one it raises is the call's own.
  const qtl::status denied = qtl::status::error(L"Unable to save to x: denied");
  EXPECT_EQ(Serve<qtl::status()>([&] { return denied; }, ""),
            Reply(qtl::ok_status(), qrn::grammar::EncodeStatus(denied)));
  EXPECT_EQ(Serve<qtl::status()>([&]() -> qtl::status { throw qtl::status_exception(denied); }, ""), Reply(denied, ""));
}

TEST(ServerFunctor, ASecondCallAnswersOnlyItsOwnOutcome) {
  const qtl::status first = qtl::status::error(L"first");
  bool fail = true;
  ServerFunctor<std::function<unsigned int(std::wstring)>> functor([&](std::wstring) -> unsigned int {
    if (fail) throw qtl::status_exception(first);
    return 3;
  });
  FakeWriter writer;
  functor("a", writer);
  fail = false;
  functor("b", writer);
  EXPECT_EQ(writer.texts, (std::vector<std::string>{Reply(first, "0"), ";3"}));
}

TEST(ServerFunctor, BadArgumentsRaiseWithoutCallingOrReplyingAndOtherExceptionsPassThrough) {
  int calls = 0;
  ServerFunctor<std::function<void(std::wstring, unsigned int)>> functor([&](std::wstring, unsigned int) { ++calls; });
  ServerFunctor<std::function<void()>> noArguments([&] { ++calls; });
  ServerFunctor<std::function<void()>> throwsAnInt([] { throw 42; });
  FakeWriter writer;
  EXPECT_THROW(functor("a;x", writer), qtl::status_exception);  // the texts that fail are the grammar tests'
  EXPECT_THROW(noArguments("x", writer), qtl::status_exception);
  EXPECT_THROW(throwsAnInt("", writer), int);
  EXPECT_TRUE(calls == 0 && writer.texts.empty());
}

TEST(ServerFunctor, AFailedWriteRaisesStampedWithItsSource) {
  FakeWriter writer;
  writer.failure = qtl::status::error(L"pipe closed");
  try {
    ServerFunctor<std::function<void()>>([] {})("", writer);
    ADD_FAILURE() << "no exception";
  } catch (const qtl::status_exception& e) {
    EXPECT_EQ(e.get_status().get()->message, L"pipe closed");
    EXPECT_EQ(e.get_status().get()->file, std::string(stamps::kReplyWrite.file));
    EXPECT_EQ(e.get_status().get()->line, stamps::kReplyWrite.line);
  }
}

}  // namespace
