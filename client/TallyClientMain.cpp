// tally-client [--server PATH] [--raw]: drives the analytics server from a
// script on standard input (client/ClientScript.h gives the line language).
#include <iostream>
#include <string>

#include "client/ClientScript.h"
#include "client/TallyClient.h"
#include "runtime/CmdLine.h"
#include "runtime/Console.h"
#include "runtime/Str.h"

namespace {

using sys::console::Stream;

struct Options {
  std::wstring server;
  bool raw = false;
};

void Error(const std::wstring& text) { sys::console::Write(Stream::kErr, L"tally-client: " + text + L"\n"); }

bool ParseOptions(const std::vector<std::wstring>& arguments, Options& options) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == L"--raw") {
      options.raw = true;
    } else if (arguments[i] == L"--server" && i + 1 < arguments.size()) {
      options.server = arguments[++i];
    } else {
      Error(L"unexpected argument \"" + arguments[i] + L"\"\nUsage: tally-client [--server PATH] [--raw]");
      return false;
    }
  }
  if (options.server.empty()) options.server = tally::client::ProgramBesideSelf(L"DromikaCmd");
  return true;
}

// Every line is served unless the connection breaks.
bool Serve(tally::TallyClient& client, bool raw) {
  std::string line, output;
  while (std::getline(std::cin, line)) {
    qtl::status status = tally::script::RunLine(client, line, raw, output);
    if (!status.ok()) {
      Error(L"the connection to the server broke: " + status.text());
      return false;
    }
    if (!output.empty()) sys::console::Write(Stream::kOut, str::as_wstring(output + "\n"));
  }
  return true;
}

}  // namespace

int main() {
  sys::console::SetAsUnicode();
  std::ios::sync_with_stdio(false);
  Options options;
  if (!ParseOptions(sys::env::RawArguments(), options)) return 1;
  tally::client::LaunchOptions launch;
  launch.program = options.server;
  std::unique_ptr<tally::TallyClient> client;
  qtl::status started = tally::TallyClient::Start(launch, client);
  if (!started.ok()) {
    Error(started.text());
    return 1;
  }
  const bool served = Serve(*client, options.raw);
  int exitCode = 0;
  qtl::status closed = client->Close(exitCode);
  if (!closed.ok()) Error(closed.text());
  return served && closed.ok() ? 0 : 1;
}
