// The thread that serves remote calls on one connection.
#pragma once
#include <cstdint>
#include <memory>

#include "runtime/Connection.h"
#include "runtime/RemoteCallRegistry.h"
#include "runtime/Status.h"

namespace sys::thread {
class Worker {
 public:
  using Handle = std::shared_ptr<Worker>;
  virtual ~Worker() = default;
  // Waits up to `milliseconds` (0xFFFFFFFF: without limit) for the worker to
  // end. Once it has ended: ok when the peer closed the connection between
  // frames, otherwise the failure that ended it (a frame that could not be
  // read, a reply that could not be sent). A failing status also when the
  // time ran out (the worker goes on) or the handle is empty.
  static qtl::status Join(const Handle& worker, uint32_t milliseconds);
 protected:
  virtual qtl::status JoinFor(uint32_t milliseconds) = 0;
};
}  // namespace sys::thread

namespace sys::server {

// Starts a thread that reads each call, finds its functor and lets it reply;
// an unknown name or a functor's exception gets a failure reply, so every
// request has exactly one reply. A reply too large for one frame is replaced
// by the functor's FailureReply saying so; failure texts quote at most an
// excerpt of the request (qtl::Excerpt). The thread ends when a frame cannot
// be read (the client closed the connection, a truncated frame, a length
// over the maximum) or a reply cannot be written; Join tells which. Keeps its own copy of the registry
// and shares reader and writer; raises qtl::status_exception when either is
// empty. A request that is not a two-item Sequence, or names no registered
// call, is answered with [failure status, ""]; a functor that raises without
// having replied is answered with its FailureReply.
sys::thread::Worker::Handle MakeRemoteCallWorker(const RemoteCallRegistry& registry,
                                                 std::shared_ptr<sys::message::IReader> reader,
                                                 std::shared_ptr<sys::message::IWriter> writer);

}  // namespace sys::server
