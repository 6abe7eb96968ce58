// Connecting to the duplex endpoint that a client application holds.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "runtime/Connection.h"

namespace sys::message {

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
