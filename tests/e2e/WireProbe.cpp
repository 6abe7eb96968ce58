// Talks to a server at the level of bytes, for the end-to-end tests of bad
// input. Usage: wire_probe SERVER; then commands on standard input, one per
// line, each answered by one output line:
//   call NAME<TAB>ARGS   sends a well-formed request   -> sent
//   frame HEX            sends one frame of that payload -> sent
//   bytes HEX            sends raw bytes                -> sent | failed TEXT
//   read                 reads one reply frame          -> reply HEX | closed TEXT
//   close                ends the connection, waits for the server -> exit N | hang
#include <iostream>
#include <string>

#include "client/ServerProcess.h"
#include "runtime/CmdLine.h"
#include "runtime/Frame.h"
#include "runtime/Str.h"

namespace {

namespace frame = sys::message::frame;
using sys::message::IoResult;

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

std::string ToHex(const std::string& bytes) {
  std::string hex;
  for (unsigned char c : bytes) hex += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
  return hex;
}

std::string Outcome(const qtl::status& status) { return status.ok() ? "sent" : "failed " + str::as_u8string(status.text()); }

qtl::status WriteRaw(sys::message::IByteStream& stream, const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const IoResult result = stream.WriteSome(bytes.data() + done, bytes.size() - done);
    if (result.kind == IoResult::kInterrupted) continue;
    if (result.kind != IoResult::kDone) return qtl::status::error(L"write failed");
    done += result.count;
  }
  return qtl::ok_status();
}

std::string Run(tally::client::ServerProcess& server, sys::message::IByteStream& stream, frame::FrameReader& reader,
                const std::string& verb, const std::string& rest) {
  if (verb == "call") {
    const size_t tab = rest.find('\t');
    return Outcome(frame::WriteFrame(stream, frame::EncodeRequest(rest.substr(0, tab),
                                                                  tab == std::string::npos ? "" : rest.substr(tab + 1))));
  }
  if (verb == "frame") return Outcome(frame::WriteFrame(stream, FromHex(rest)));
  if (verb == "bytes") return Outcome(WriteRaw(stream, FromHex(rest)));
  if (verb == "read") {
    std::string payload;
    const qtl::status status = reader.Read(payload);
    return status.ok() ? "reply " + ToHex(payload) : "closed " + str::as_u8string(status.text());
  }
  if (verb != "close") return "unknown command";
  stream.Close();
  int exitCode = 0;
  if (server.Wait(30000, exitCode).ok()) return "exit " + std::to_string(exitCode);
  server.Kill();
  return "hang";
}

}  // namespace

int main() {
  const std::vector<std::wstring> arguments = sys::env::RawArguments();
  if (arguments.empty()) return 2;
  std::unique_ptr<tally::client::ServerProcess> server;
  const qtl::status status = tally::client::LaunchServer({arguments[0], {}}, server);
  if (!status.ok()) {
    std::cout << "failed " << str::as_u8string(status.text()) << std::endl;
    return 1;
  }
  const std::unique_ptr<sys::message::IByteStream> stream = server->TakeStream();
  frame::FrameReader reader(*stream, 1024);
  std::cout << "started" << std::endl;
  for (std::string line; std::getline(std::cin, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t space = line.find(' ');
    std::cout << Run(*server, *stream, reader, line.substr(0, space),
                     space == std::string::npos ? "" : line.substr(space + 1)) << std::endl;
  }
  return 0;
}
