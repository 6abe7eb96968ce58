// Starting the analytics server for a client: the private endpoint, the
// child process, and the one connection that child makes.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/ByteStream.h"
#include "runtime/Status.h"

namespace tally::client {

struct LaunchOptions {
  // The server program; started as `program RunServer /pipename:NAME`.
  std::wstring program;
  // Appended after /pipename:NAME.
  std::vector<std::wstring> extraArguments;
  // How long the child may take to connect.
  uint32_t connectTimeoutMs = 60000;
};

// A started server whose connection has been accepted.
class ServerProcess {
 public:
  virtual ~ServerProcess() = default;
  // The accepted connection; null after the first call.
  virtual std::unique_ptr<sys::message::IByteStream> TakeStream() = 0;
  // Waits up to `milliseconds` for the child to end and gives its exit code
  // (Linux: 128 + the signal for a child killed by one). Fails on time-out.
  virtual qtl::status Wait(uint32_t milliseconds, int& exitCode) = 0;
  // Ends the child at once; for a server that would not end.
  virtual void Kill() = 0;
};

// Creates an endpoint only this user can reach (Windows: a named pipe with
// FILE_FLAG_FIRST_PIPE_INSTANCE, PIPE_REJECT_REMOTE_CLIENTS and a DACL for
// the current user alone; Linux: a socket in a fresh 0700 folder), starts
// the server with its standard output and error on this process's standard
// error, and accepts a connection only from that child (Linux: SO_PEERCRED
// pid; Windows: GetNamedPipeClientProcessId). Connections from any other
// process are dropped. On Windows the child has no console, inherits only
// its standard handles and lives in a job that ends it when this process
// ends. Fails when the program cannot be started, the child ends before
// connecting, or it does not connect in time (it is then killed).
// First calls sys::console::GuardStandardStreams, which on Linux also makes
// this process ignore SIGPIPE unless it has its own handler.
qtl::status LaunchServer(const LaunchOptions& options, std::unique_ptr<ServerProcess>& out);

// The path of `name` beside the running executable, with its extension
// (so "name.exe" on Windows).
std::wstring ProgramBesideSelf(const std::wstring& name);

}  // namespace tally::client
