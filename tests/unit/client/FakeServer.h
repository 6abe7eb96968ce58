// A server for client tests: the real worker over an in-memory pipe, with
// functors that note each call's arguments and answer a set reply.
#pragma once
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "client/TallyClient.h"
#include "runtime/FrameConnection.h"
#include "runtime/RemoteCallWorker.h"
#include "runtime/Sequence.h"
#include "testing/MemoryPipe.h"

namespace testing_support {

struct CallLog {
  std::mutex mutex;
  std::vector<std::string> calls;  // "Name(arguments)"
  std::vector<std::string> Take() {
    std::lock_guard<std::mutex> lock(mutex);
    return std::move(calls);
  }
};

class NotingFunctor : public sys::server::RemoteCallRegistry::IFunctor {
 public:
  NotingFunctor(std::string name, std::shared_ptr<CallLog> log, std::string reply)
      : name_(std::move(name)), log_(std::move(log)), reply_(std::move(reply)) {}
  void operator()(const std::string& arguments, sys::message::IWriter& writer) override {
    {
      std::lock_guard<std::mutex> lock(log_->mutex);
      log_->calls.push_back(name_ + "(" + arguments + ")");
    }
    (void)writer.Write(reply_);
  }
  std::string FailureReply(const qtl::status&) const override { return "unused"; }

 private:
  std::string name_;
  std::shared_ptr<CallLog> log_;
  std::string reply_;
};

// Every call name of the server, each answering "success, empty value"
// unless `replies` says otherwise.
struct FakeServer {
  std::shared_ptr<CallLog> log = std::make_shared<CallLog>();
  sys::message::MemoryPipePair pipe = sys::message::MakeMemoryPipePair();
  sys::thread::Worker::Handle worker;
  std::unique_ptr<tally::TallyClient> client;

  explicit FakeServer(const std::map<std::string, std::string>& replies = {}) {
    sys::server::RemoteCallRegistry registry;
    for (const char* name : {"TrackEvent", "TrackValueEvent", "TrackTimedEventStart", "TrackTimedEventEnd", "SetExcludePII",
                             "AddStandardGroup", "StartGroup", "SetDataPoint", "EndGroup", "SaveTo", "Process"}) {
      auto reply = replies.find(name);
      registry.Add(name, std::make_shared<NotingFunctor>(name, log, reply == replies.end() ? ";" : reply->second));
    }
    worker = sys::server::MakeRemoteCallWorker(registry, pipe.second, pipe.second);
    client = std::make_unique<tally::TallyClient>(pipe.first);
  }
  ~FakeServer() {
    client.reset();
    pipe.first->Close();
    (void)sys::thread::Worker::Join(worker, 20000);
  }
};

// A reply text: the two items as the server encodes them.
inline std::string Pair(const std::string& first, const std::string& second) {
  qrn::grammar::Sequence sequence({first, second});
  std::string text;
  sequence.Encode(text);
  return text;
}

}  // namespace testing_support
