#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "runtime/FrameConnection.h"
#include "runtime/RemoteCallWorker.h"
#include "runtime/Sequence.h"
#include "runtime/Str.h"
#include "testing/MemoryPipe.h"
#include "unit/runtime/ScriptedStream.h"

namespace {

using sys::message::frame::EncodeRequest;
using sys::server::RemoteCallRegistry;
using sys::thread::Worker;

constexpr uint32_t kGenerousMs = 20000;

std::string Pair(const std::string& first, const std::string& second) {
  qrn::grammar::Sequence sequence({first, second});
  std::string text;
  sequence.Encode(text);
  return text;
}

// Replies "echo" and the arguments; FailureReply marks the failure's message.
class EchoFunctor : public RemoteCallRegistry::IFunctor {
 public:
  void operator()(const std::string& arguments, sys::message::IWriter& writer) override {
    if (!writer.Write(Pair("", "echo:" + arguments)).ok()) ThrowStatus(qtl::status::error(L"write failed"), nullptr, 0);
  }
  std::string FailureReply(const qtl::status& failure) const override {
    return Pair("failure", str::as_u8string(failure.get()->message));
  }
};

// Raises before replying, as a functor does for arguments of the wrong shape.
class RaisingFunctor : public EchoFunctor {
 public:
  explicit RaisingFunctor(int kind) : kind_(kind) {}
  void operator()(const std::string& arguments, sys::message::IWriter&) override {
    if (kind_ == 0) ThrowStatus(QrnError::syntax(arguments), "test", 1);
    if (kind_ == 1) throw std::runtime_error("plain");
    if (kind_ == 2) throw 42;
    // kind 3: returns without a reply
  }

 private:
  int kind_;
};

// Replies twice; the worker must not add a third.
class ChattyFunctor : public EchoFunctor {
 public:
  void operator()(const std::string&, sys::message::IWriter& writer) override {
    (void)writer.Write(Pair("", "one"));
    (void)writer.Write(Pair("", "two"));
    ThrowStatus(qtl::status::error(L"after replying"), nullptr, 0);
  }
};

// Replies with a text one byte over what a frame may carry.
class HugeFunctor : public EchoFunctor {
 public:
  void operator()(const std::string&, sys::message::IWriter& writer) override {
    (void)writer.Write(std::string(sys::message::frame::kMaxPayloadBytes + 1, 'x'));
  }
};

struct Session {
  sys::message::MemoryPipePair pipe = sys::message::MakeMemoryPipePair();
  Worker::Handle worker;

  Session() {
    RemoteCallRegistry registry;
    registry.Add("Echo", std::make_shared<EchoFunctor>());
    registry.Add("Syntax", std::make_shared<RaisingFunctor>(0));
    registry.Add("Plain", std::make_shared<RaisingFunctor>(1));
    registry.Add("Odd", std::make_shared<RaisingFunctor>(2));
    registry.Add("Silent", std::make_shared<RaisingFunctor>(3));
    registry.Add("Chatty", std::make_shared<ChattyFunctor>());
    registry.Add("Huge", std::make_shared<HugeFunctor>());
    // The worker keeps its own copy; this one goes at once.
    worker = sys::server::MakeRemoteCallWorker(registry, pipe.second, pipe.second);
  }
  ~Session() {
    pipe.first->Close();
    (void)Worker::Join(worker, kGenerousMs);
  }

  std::string Call(const std::string& name, const std::string& arguments) {
    EXPECT_TRUE(pipe.first->Write(EncodeRequest(name, arguments)).ok());
    std::string reply;
    EXPECT_TRUE(pipe.first->Read(reply).ok());
    return reply;
  }
};

std::string FirstItemMessage(const std::string& reply) {
  qrn::grammar::Sequence items;
  items.Decode(reply);
  if (items.value.size() != 2) return "not two items";
  return str::as_u8string(qrn::grammar::DecodeStatus(items.value[0]).get()->message) + "|" + items.value[1];
}

TEST(RemoteCallWorker, AnswersEachCallInOrderWithItsFunctor) {
  Session session;
  EXPECT_EQ(session.Call("Echo", "a;b"), Pair("", "echo:a;b"));
  EXPECT_EQ(session.Call("Echo", ""), Pair("", "echo:"));
  EXPECT_EQ(session.Call("Syntax", "x"), Pair("failure", "Syntax error"));
  EXPECT_EQ(session.Call("Plain", ""), Pair("failure", "Unexpected exception"));
  EXPECT_EQ(session.Call("Odd", ""), Pair("failure", "Unexpected exception"));
  EXPECT_EQ(session.Call("Silent", ""), Pair("failure", "Remote call Silent gave no reply"));
  EXPECT_EQ(session.Call("Chatty", ""), Pair("", "one"));
  EXPECT_EQ(session.Call("Echo", "after"), Pair("", "two"));  // the second reply was already sent
}

TEST(RemoteCallWorker, UnknownNamesAndMalformedRequestsGetAFailureReply) {
  Session session;
  EXPECT_EQ(FirstItemMessage(session.Call("Nope", "1;2")), "Unknown remote call: Nope|");
  EXPECT_EQ(FirstItemMessage(session.Call("echo", "")), "Unknown remote call: echo|");
  for (const std::string& payload : {std::string(), std::string("Echo"), std::string("a;b;c"), std::string("Echo;x&")}) {
    ASSERT_TRUE(session.pipe.first->Write(payload).ok());
    std::string reply;
    ASSERT_TRUE(session.pipe.first->Read(reply).ok());
    EXPECT_EQ(FirstItemMessage(reply), "Malformed remote call request|") << payload;
  }
  EXPECT_EQ(session.Call("Echo", "still here"), Pair("", "echo:still here"));
}

TEST(RemoteCallWorker, NoReplyOutgrowsAFrame) {
  Session session;
  EXPECT_EQ(session.Call("Huge", ""),
            Pair("failure", "The reply to Huge is too large to send: 4194305 bytes, at most 4194304 allowed"));
  const std::string name(1 << 20, '&');
  const std::string reply = FirstItemMessage(session.Call(name, ""));
  EXPECT_LT(reply.size(), 2 * qtl::kMaxQuotedBytes);
  EXPECT_EQ(reply, "Unknown remote call: " + name.substr(0, qtl::kMaxQuotedBytes) + "... (1048576 bytes)|");
  EXPECT_EQ(session.Call("Echo", "after"), Pair("", "echo:after"));
}

TEST(RemoteCallWorker, EndsWhenTheClientCloses) {
  Session session;
  EXPECT_EQ(session.Call("Echo", "1"), Pair("", "echo:1"));
  session.pipe.first->Close();
  EXPECT_TRUE(Worker::Join(session.worker, kGenerousMs).ok());
  EXPECT_TRUE(Worker::Join(session.worker, 0).ok());  // joining again is harmless
}

TEST(RemoteCallWorker, AFrameThatCannotBeReadEndsItAndJoinSaysWhy) {
  const std::pair<std::string, std::wstring> frames[] = {
      {testing_support::Header(0xFFFFFFFF) + "x", L"Frame too large: 4294967295 bytes, at most 4194304 allowed"},
      {testing_support::Header(10) + "short", L"Truncated frame"},
      {std::string("\x01\x00", 2), L"Truncated frame"}};
  for (const auto& [bytes, why] : frames) {
    auto streams = sys::message::MakeMemoryStreamPair();
    auto server = std::make_shared<sys::message::FrameConnection>(std::move(streams.second), 64);
    RemoteCallRegistry registry;
    registry.Add("Echo", std::make_shared<EchoFunctor>());
    Worker::Handle worker = sys::server::MakeRemoteCallWorker(registry, server, server);
    ASSERT_EQ(streams.first->WriteSome(bytes.data(), bytes.size()).kind, sys::message::IoResult::kDone);
    streams.first->Close();  // a truncation only shows at the end; the worker still reads what was sent
    EXPECT_EQ(Worker::Join(worker, kGenerousMs).text(), why);
  }
}

TEST(RemoteCallWorker, AReplyThatCannotBeSentEndsItAndJoinSaysWhy) {
  auto pipe = sys::message::MakeMemoryPipePair();
  // The client is gone before the worker starts, so the request is read and its reply has nowhere to go.
  ASSERT_TRUE(pipe.first->Write(EncodeRequest("Echo", "x")).ok());
  pipe.first->Close();
  RemoteCallRegistry registry;
  registry.Add("Echo", std::make_shared<EchoFunctor>());
  Worker::Handle worker = sys::server::MakeRemoteCallWorker(registry, pipe.second, pipe.second);
  EXPECT_EQ(Worker::Join(worker, kGenerousMs).text().rfind(L"Connection broken: ", 0), 0u);
}

TEST(Worker, JoinReportsATimeOutAndAnEmptyHandle) {
  auto pipe = sys::message::MakeMemoryPipePair();
  Worker::Handle worker = sys::server::MakeRemoteCallWorker(RemoteCallRegistry(), pipe.second, pipe.second);
  EXPECT_FALSE(Worker::Join(worker, 1).ok());  // nothing has ended it yet
  pipe.first->Close();
  EXPECT_TRUE(Worker::Join(worker, 0xFFFFFFFF).ok());
  EXPECT_FALSE(Worker::Join(nullptr, 0).ok());
  EXPECT_THROW(sys::server::MakeRemoteCallWorker(RemoteCallRegistry(), nullptr, pipe.second), qtl::status_exception);
}

}  // namespace
