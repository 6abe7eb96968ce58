// tally-client [--server PATH] [--raw]: drives the analytics server from a
// script on standard input (client/ClientScript.h gives the line language).
// The exit status is explained by its help text.
#include <iostream>
#include <string>

#include "client/ClientScript.h"
#include "client/TallyClient.h"
#include "client/TallyClientHelp.h"
#include "runtime/Banner.h"
#include "runtime/CmdLine.h"
#include "runtime/Console.h"
#include "runtime/Str.h"

namespace {

using sys::console::Stream;

constexpr int kAllSucceeded = 0;
constexpr int kSomeFailed = 1;
constexpr int kNoSession = 2;

constexpr const wchar_t* kUsage = L"Usage: tally-client [--server PATH] [--raw] < SCRIPT (tally-client --help)";

struct Options {
  std::wstring server;
  bool raw = false;
};

void Error(const std::wstring& text) { sys::console::Write(Stream::kErr, L"tally-client: " + text + L"\n"); }

// False when the run should end at once with `exitCode`.
bool ParseOptions(const std::vector<std::wstring>& arguments, Options& options, int& exitCode) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == L"--help" || arguments[i] == L"-h" || arguments[i] == L"--version") {
      const std::wstring version = L"tally-client " + str::as_wstring(version::BuildVersion());
      sys::console::Write(Stream::kOut, (arguments[i] == L"--version" ? version : tally::script::HelpText()) + L"\n");
      exitCode = kAllSucceeded;
      return false;
    } else if (arguments[i] == L"--raw") {
      options.raw = true;
    } else if (arguments[i] == L"--server" && i + 1 < arguments.size()) {
      options.server = arguments[++i];
    } else {
      Error(L"unexpected argument \"" + arguments[i] + L"\"\n" + kUsage);
      exitCode = kNoSession;
      return false;
    }
  }
  if (options.server.empty()) options.server = tally::client::ProgramBesideSelf(L"DromikaCmd");
  return true;
}

// Every line is served unless the connection breaks.
int Serve(tally::TallyClient& client, bool raw) {
  int exitCode = kAllSucceeded;
  std::string line, output;
  bool failed = false;
  while (std::getline(std::cin, line)) {
    qtl::status status = tally::script::RunLine(client, line, raw, output, failed);
    if (!status.ok()) {
      Error(L"the connection to the server broke: " + status.text());
      return kNoSession;
    }
    if (failed) exitCode = kSomeFailed;
    if (!output.empty()) sys::console::Write(Stream::kOut, str::as_wstring(output + "\n"));
  }
  return exitCode;
}

}  // namespace

int main() {
  sys::console::GuardStandardStreams();
  sys::console::SetAsUnicode();
  std::ios::sync_with_stdio(false);
  Options options;
  int exitCode = kAllSucceeded;
  if (!ParseOptions(sys::env::RawArguments(), options, exitCode)) return exitCode;
  tally::client::LaunchOptions launch;
  launch.program = options.server;
  std::unique_ptr<tally::TallyClient> client;
  qtl::status started = tally::TallyClient::Start(launch, client);
  if (!started.ok()) {
    Error(started.text());
    return kNoSession;
  }
  exitCode = Serve(*client, options.raw);
  int serverExit = 0;
  qtl::status closed = client->Close(serverExit);
  if (closed.ok() && serverExit != 0) {
    closed = qtl::status::error(L"the server ended with exit code " + std::to_wstring(serverExit));
  }
  if (!closed.ok()) {
    Error(closed.text());
    exitCode = kNoSession;
  }
  return exitCode;
}
