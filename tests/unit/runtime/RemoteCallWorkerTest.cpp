// Unknown names, malformed requests, unreadable frames and over-long names are
// driven through the real server by server_mode_test.py's WireTest; here are
// the functors' own failures and the worker's handle.
#include "runtime/RemoteCallWorker.h"

#include <gtest/gtest.h>

#include "runtime/Sequence.h"
#include "runtime/Str.h"
#include "testing/MemoryPipe.h"

namespace {

using sys::message::frame::EncodeRequest;
using sys::server::RemoteCallRegistry;
using sys::thread::Worker;

constexpr uint32_t kGenerousMs = 20000;

std::string Pair(const std::string& first, const std::string& second) {
  std::string text;
  qrn::grammar::Sequence({first, second}).Encode(text);
  return text;
}

// Echoes its arguments, or misbehaves as its kind says.
struct Functor : RemoteCallRegistry::IFunctor {
  explicit Functor(const std::string& kind) : kind(kind) {}
  void operator()(const std::string& arguments, sys::message::IWriter& writer) override {
    if (kind == "syntax") ThrowStatus(QrnError::syntax(arguments), "test", 1);
    if (kind == "plain") throw std::runtime_error("plain");
    if (kind == "odd") throw 42;
    if (kind == "huge") (void)writer.Write(std::string(sys::message::frame::kMaxPayloadBytes + 1, 'x'));
    if (kind == "chatty") {  // replies twice; the worker must not add a third
      (void)writer.Write(Pair("", "one"));
      (void)writer.Write(Pair("", "two"));
      throw std::runtime_error("after replying");
    }
    if (kind == "echo" && !writer.Write(Pair("", "echo:" + arguments)).ok()) throw std::runtime_error("unsent");
  }
  std::string FailureReply(const qtl::status& failure) const override {
    return Pair("failure", str::as_u8string(failure.get()->message));
  }
  const std::string kind;
};

Worker::Handle Start(const sys::message::MemoryPipePair& pipe) {
  RemoteCallRegistry registry;
  for (const char* k : {"echo", "syntax", "plain", "odd", "silent", "chatty", "huge"})
    registry.Add(k, std::make_shared<Functor>(k));
  return sys::server::MakeRemoteCallWorker(registry, pipe.second, pipe.second);  // keeps its own copy
}

TEST(RemoteCallWorker, AnswersEachCallInOrderWithOneReply) {
  const auto pipe = sys::message::MakeMemoryPipePair();
  Worker::Handle worker = Start(pipe);
  EXPECT_FALSE(Worker::Join(worker, 1).ok());  // nothing has ended it yet
  const std::string cases[][3] = {
      {"echo", "a;b", Pair("", "echo:a;b")}, {"echo", "", Pair("", "echo:")},
      {"syntax", "x", Pair("failure", "Syntax error")}, {"plain", "", Pair("failure", "Unexpected exception")},
      {"odd", "", Pair("failure", "Unexpected exception")},
      {"silent", "", Pair("failure", "Remote call silent gave no reply")},
      {"huge", "", Pair("failure", "The reply to huge is too large to send: 4194305 bytes, at most 4194304 allowed")},
      {"chatty", "", Pair("", "one")},
      {"echo", "after", Pair("", "two")},  // the second reply was already sent
  };
  std::string reply;
  for (const auto& [name, arguments, expected] : cases) {
    ASSERT_TRUE(pipe.first->Write(EncodeRequest(name, arguments)).ok() && pipe.first->Read(reply).ok());
    EXPECT_EQ(reply, expected) << name;
  }
  EXPECT_TRUE(pipe.first->Read(reply).ok() && reply == Pair("", "echo:after"));
  pipe.first->Close();
  EXPECT_TRUE(Worker::Join(worker, kGenerousMs).ok() && Worker::Join(worker, 0xFFFFFFFF).ok());  // again: harmless
}

TEST(RemoteCallWorker, AReplyThatCannotBeSentEndsItAndJoinSaysWhy) {
  const auto pipe = sys::message::MakeMemoryPipePair();
  // The client is gone before the worker starts: the request is read and its reply has nowhere to go.
  ASSERT_TRUE(pipe.first->Write(EncodeRequest("echo", "x")).ok());
  pipe.first->Close();
  EXPECT_EQ(Worker::Join(Start(pipe), kGenerousMs).text().rfind(L"Connection broken: ", 0), 0u);
  EXPECT_FALSE(Worker::Join(nullptr, 0).ok());
  EXPECT_THROW(sys::server::MakeRemoteCallWorker(RemoteCallRegistry(), nullptr, pipe.second), qtl::status_exception);
}

}  // namespace
