// The wire between a client application and the server: one duplex
// connection carrying frames, and the worker that serves remote calls on it.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "runtime/Status.h"

namespace sys::message {

// Reads one whole frame's text. A failing status means the connection is
// closed or broken; the worker then ends.
class IReader {
 public:
  virtual ~IReader() = default;
  virtual qtl::status Read(std::string& text) = 0;
};

// Sends one text as one frame.
class IWriter {
 public:
  virtual ~IWriter() = default;
  virtual qtl::status Write(const std::string& text) = 0;
};

class IReaderWriterConnection : public IReader, public IWriter {
 public:
  // Ok once connected; otherwise why the connection could not be made.
  virtual qtl::status GetStatus() = 0;
};

namespace pipe {
struct ClientSettings {
  // Windows: the pipe NAME, opened as \\.\pipe\NAME (a name that already
  // starts with \\.\pipe\ is taken whole). Linux: the path of a Unix domain
  // socket; a bare name (no slash) lives in $TMPDIR, or /tmp when unset.
  std::wstring name;
  // Read buffer size in bytes: the most that one system read of the
  // connection asks for. A frame that fits arrives with one read, a larger
  // one is read straight into its own storage; below 4 (the frame header)
  // counts as 4, above 1 MiB as 1 MiB. The server passes 1024.
  uint32_t a = 0;
  // Connection attempts, 100 ms apart, while the endpoint is missing or busy;
  // 0 counts as 1. The server passes 1: the client creates its endpoint
  // before it starts the server.
  uint32_t b = 0;
};

// How long one connection attempt may wait for an endpoint that exists but
// does not take the connection yet (Linux: a listener whose queue is full);
// then the attempt fails.
constexpr uint32_t kConnectWaitMs = 5000;
}  // namespace pipe

// Connects to the client's endpoint as a client. Never null: a connection
// that failed answers GetStatus() with the reason. Windows opens the pipe
// with security quality of service "identification", so its holder cannot
// act as this process's user; Linux connects only to a socket whose peer
// runs as this process's own user (SO_PEERCRED). The wire carries frames
// (runtime/Frame.h): a request is the Sequence of the call name and the
// argument text, a reply the result text.
std::shared_ptr<IReaderWriterConnection> MakeNamedPipeClientDuplex(const pipe::ClientSettings& settings);

}  // namespace sys::message

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

class RemoteCallRegistry {
 public:
  class IFunctor {
   public:
    virtual ~IFunctor() = default;
    // Serves one call: decodes `arguments`, runs the operation, writes one reply.
    // Raises qtl::status_exception for arguments of the wrong shape (nothing written).
    virtual void operator()(const std::string& arguments, sys::message::IWriter& writer) = 0;
    // The reply text for a call that failed before the operation ran: `failure`
    // as the status and the default value of the call's result.
    virtual std::string FailureReply(const qtl::status& failure) const = 0;
  };

  // Stores the functor under the name, replacing one of the same name.
  void Add(const std::string& name, std::shared_ptr<IFunctor> functor) { functors_[name] = std::move(functor); }
  // Null when the name is not registered.
  std::shared_ptr<IFunctor> Find(const std::string& name) const {
    auto found = functors_.find(name);
    return found == functors_.end() ? nullptr : found->second;
  }
  // Defined with the value grammar (Common/sys_server_RemoteCallServer.h).
  template <class Sig>
  void Register(const std::string& name, std::function<Sig> function);

 private:
  std::map<std::string, std::shared_ptr<IFunctor>> functors_;
};

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
