#include <condition_variable>
#include <mutex>
#include <thread>

#include "runtime/Frame.h"
#include "runtime/RemoteCall.h"
#include "runtime/Sequence.h"
#include "runtime/Str.h"

namespace sys::server {
namespace {

using sys::message::IReader;
using sys::message::IWriter;

// Counts the replies a functor writes, so the worker can tell whether a
// functor that raised had already answered.
class CountingWriter : public IWriter {
 public:
  explicit CountingWriter(IWriter& writer) : writer_(writer) {}
  qtl::status Write(const std::string& text) override {
    ++writes_;
    last_ = writer_.Write(text);
    return last_;
  }
  int writes() const { return writes_; }
  const qtl::status& last() const { return last_; }

 private:
  IWriter& writer_;
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
};

// Serves one request; false when the reply could not be written.
bool Serve(WorkerState& state, const std::string& payload) {
  std::string name, arguments;
  if (!sys::message::frame::DecodeRequest(payload, name, arguments)) {
    return state.writer->Write(ErrorReply(L"Malformed remote call request")).ok();
  }
  const std::shared_ptr<RemoteCallRegistry::IFunctor> functor = state.registry.Find(name);
  if (!functor) return state.writer->Write(ErrorReply(L"Unknown remote call: " + str::as_wstring(name))).ok();
  CountingWriter writer(*state.writer);
  qtl::status failure;
  try {
    (*functor)(arguments, writer);
  } catch (const qtl::status_exception& e) {
    failure = e.get_status();
  } catch (const std::exception& e) {
    failure = QrnError::unexpected_exception(e.what());
  } catch (...) {
    failure = QrnError::unexpected_exception("unknown exception");
  }
  if (writer.writes() > 0) return writer.last().ok();
  if (failure.ok()) failure = qtl::status::error(L"Remote call " + str::as_wstring(name) + L" gave no reply");
  return state.writer->Write(functor->FailureReply(failure)).ok();
}

void Run(const std::shared_ptr<WorkerState>& state) {
  // Whatever escapes (running out of memory) ends the session, not the process.
  try {
    std::string payload;
    while (state->reader->Read(payload).ok() && Serve(*state, payload)) {
    }
  } catch (...) {
  }
  std::lock_guard<std::mutex> lock(state->mutex);
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
    return qtl::ok_status();
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
