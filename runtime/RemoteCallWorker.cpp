#include "runtime/RemoteCallWorker.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "runtime/Frame.h"
#include "runtime/Sequence.h"
#include "runtime/Str.h"

namespace sys::server {
namespace {

using sys::message::IReader;
using sys::message::IWriter;

// Counts the replies a functor writes, so the worker can tell whether a
// functor that raised had already answered. A reply too large for one frame
// is replaced by the functor's short failure reply, so the call still gets
// an answer and the session goes on.
class CountingWriter : public IWriter {
 public:
  CountingWriter(IWriter& writer, const RemoteCallRegistry::IFunctor& functor, const std::string& name)
      : writer_(writer), functor_(functor), name_(name) {}
  qtl::status Write(const std::string& text) override {
    ++writes_;
    if (text.size() <= sys::message::frame::kMaxPayloadBytes) {
      last_ = writer_.Write(text);
    } else {
      last_ = writer_.Write(functor_.FailureReply(qtl::status::error(
          L"The reply to " + str::as_wstring(name_) + L" is too large to send: " + std::to_wstring(text.size()) +
          L" bytes, at most " + std::to_wstring(sys::message::frame::kMaxPayloadBytes) + L" allowed")));
    }
    return last_;
  }
  int writes() const { return writes_; }
  const qtl::status& last() const { return last_; }

 private:
  IWriter& writer_;
  const RemoteCallRegistry::IFunctor& functor_;
  const std::string& name_;
  int writes_ = 0;
  qtl::status last_;
};

std::string ErrorReply(const std::wstring& message) {
  qrn::grammar::Sequence reply({qrn::grammar::EncodeStatus(qtl::status::error(message)), std::string()});
  std::string text;
  reply.Encode(text);
  return text;
}

// The state the worker's thread shares with the handle; the thread keeps
// it alive, so a handle dropped without a join leaves nothing dangling.
struct WorkerState {
  RemoteCallRegistry registry;
  std::shared_ptr<IReader> reader;
  std::shared_ptr<IWriter> writer;
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  qtl::status ending;  // why the session ended; ok for the client's orderly close
};

// Serves one request; fails when the reply could not be written.
qtl::status Serve(WorkerState& state, const std::string& payload) {
  std::string name, arguments;
  if (!sys::message::frame::DecodeRequest(payload, name, arguments)) {
    return state.writer->Write(ErrorReply(L"Malformed remote call request"));
  }
  const std::shared_ptr<RemoteCallRegistry::IFunctor> functor = state.registry.Find(name);
  if (!functor) return state.writer->Write(ErrorReply(L"Unknown remote call: " + qtl::Excerpt(name, L"")));
  CountingWriter writer(*state.writer, *functor, name);
  qtl::status failure = StatusOfCall([&] { (*functor)(arguments, writer); });
  if (writer.writes() > 0) return writer.last();
  if (failure.ok()) failure = qtl::status::error(L"Remote call " + str::as_wstring(name) + L" gave no reply");
  return writer.Write(functor->FailureReply(failure));
}

qtl::status ServeAll(WorkerState& state) {
  std::string payload;
  for (;;) {
    qtl::status status = state.reader->Read(payload);
    if (sys::message::frame::IsConnectionClosed(status)) return qtl::ok_status();
    if (status.ok()) status = Serve(state, payload);
    if (!status.ok()) return status;
  }
}

void Run(const std::shared_ptr<WorkerState>& state) {
  qtl::status ending;
  // Whatever escapes (running out of memory) ends the session, not the process.
  const qtl::status escaped = StatusOfCall([&] { ending = ServeAll(*state); });
  if (!escaped.ok()) ending = escaped;
  std::lock_guard<std::mutex> lock(state->mutex);
  state->ending = ending;
  state->done = true;
  state->ended.notify_all();
}

class RemoteCallWorker : public sys::thread::Worker {
 public:
  explicit RemoteCallWorker(std::shared_ptr<WorkerState> state) : state_(std::move(state)) {
    thread_ = std::thread([state = state_] { Run(state); });
  }
  ~RemoteCallWorker() override {
    if (thread_.joinable()) thread_.detach();
  }

 protected:
  qtl::status JoinFor(uint32_t milliseconds) override {
    std::unique_lock<std::mutex> lock(state_->mutex);
    const auto isDone = [&] { return state_->done; };
    if (milliseconds == kInfinite) {
      state_->ended.wait(lock, isDone);
    } else if (!state_->ended.wait_for(lock, std::chrono::milliseconds(milliseconds), isDone)) {
      return qtl::status::error(L"The remote-call worker did not end within " + std::to_wstring(milliseconds) + L" ms");
    }
    lock.unlock();
    std::lock_guard<std::mutex> joining(joinMutex_);
    if (thread_.joinable()) thread_.join();
    return state_->ending;
  }

 private:
  static constexpr uint32_t kInfinite = 0xFFFFFFFF;
  std::shared_ptr<WorkerState> state_;
  std::mutex joinMutex_;
  std::thread thread_;
};

}  // namespace

sys::thread::Worker::Handle MakeRemoteCallWorker(const RemoteCallRegistry& registry,
                                                 std::shared_ptr<sys::message::IReader> reader,
                                                 std::shared_ptr<sys::message::IWriter> writer) {
  if (!reader || !writer) {
    ThrowStatus(qtl::status::error(L"The remote-call worker needs a connection"), "runtime\\RemoteCallWorker", __LINE__);
  }
  auto state = std::make_shared<WorkerState>();
  state->registry = registry;
  state->reader = std::move(reader);
  state->writer = std::move(writer);
  return std::make_shared<RemoteCallWorker>(std::move(state));
}

}  // namespace sys::server

namespace sys::thread {

qtl::status Worker::Join(const Handle& worker, uint32_t milliseconds) {
  if (!worker) return qtl::status::error(L"No worker to join");
  return worker->JoinFor(milliseconds);
}

}  // namespace sys::thread
