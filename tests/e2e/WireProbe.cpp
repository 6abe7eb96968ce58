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

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

std::string ToHex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) hex += {digits[c >> 4], digits[c & 15]};
  return hex;
}

std::string Outcome(const qtl::status& status) { return status.ok() ? "sent" : "failed " + str::as_u8string(status.text()); }

qtl::status WriteRaw(sys::message::IByteStream& stream, const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const sys::message::IoResult result = stream.WriteSome(bytes.data() + done, bytes.size() - done);
    if (result.kind == sys::message::IoResult::kInterrupted) continue;
    if (result.kind != sys::message::IoResult::kDone) return qtl::status::error(L"write failed");
    done += result.count;
  }
  return qtl::ok_status();
}

struct Probe {
  std::unique_ptr<tally::client::ServerProcess> server;
  std::unique_ptr<sys::message::IByteStream> stream;
  std::unique_ptr<sys::message::frame::FrameReader> reader;

  std::string Run(const std::string& verb, const std::string& rest) {
    if (verb == "call") {
      const size_t tab = rest.find('\t');
      const std::string arguments = tab == std::string::npos ? "" : rest.substr(tab + 1);
      return Outcome(sys::message::frame::WriteFrame(*stream, sys::message::frame::EncodeRequest(rest.substr(0, tab), arguments)));
    }
    if (verb == "frame") return Outcome(sys::message::frame::WriteFrame(*stream, FromHex(rest)));
    if (verb == "bytes") return Outcome(WriteRaw(*stream, FromHex(rest)));
    if (verb == "read") {
      std::string payload;
      qtl::status status = reader->Read(payload);
      return status.ok() ? "reply " + ToHex(payload) : "closed " + str::as_u8string(status.text());
    }
    if (verb == "close") {
      stream->Close();
      int exitCode = 0;
      if (server->Wait(30000, exitCode).ok()) return "exit " + std::to_string(exitCode);
      server->Kill();
      return "hang";
    }
    return "unknown command";
  }
};

}  // namespace

int main() {
  const std::vector<std::wstring> arguments = sys::env::RawArguments();
  if (arguments.empty()) return 2;
  Probe probe;
  qtl::status status = tally::client::LaunchServer({arguments[0], {}}, probe.server);
  if (!status.ok()) {
    std::cout << "failed " << str::as_u8string(status.text()) << std::endl;
    return 1;
  }
  probe.stream = probe.server->TakeStream();
  probe.reader = std::make_unique<sys::message::frame::FrameReader>(*probe.stream, 1024);
  std::cout << "started" << std::endl;
  for (std::string line; std::getline(std::cin, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t space = line.find(' ');
    std::cout << probe.Run(line.substr(0, space), space == std::string::npos ? "" : line.substr(space + 1)) << std::endl;
  }
  return 0;
}
