// The round trip of TrackEvent through the client library and the real
// server, against a bare ping-pong of frames of the same sizes over the same
// kind of connection (the same endpoint, launch and frame code, with this
// program as the peer that only echoes), measured in alternating rounds.
//   bench_ping_pong [--server PATH] [--rounds R] [--calls N]
// On a busy machine run it as `taskset -c 1 bench_ping_pong`: with every
// process on one CPU, neither side waits for a wakeup on a CPU another
// program holds, which otherwise makes whole runs of one side ten times slower.
// Started as `bench_ping_pong RunServer /pipename:P /replybytes:B` it is
// that echoing peer.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "client/TallyClient.h"
#include "runtime/FrameConnection.h"
#include "runtime/PipeClient.h"
#include "runtime/Str.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::wstring kEventName = L"session.run";

int Echo(const std::string& pipe, size_t replyBytes) {
  auto connection = sys::message::MakeNamedPipeClientDuplex({str::as_wstring(pipe), 1024, 1});
  if (!connection->GetStatus().ok()) return 1;
  const std::string reply(replyBytes, ';');
  std::string request;
  while (connection->Read(request).ok() && connection->Write(reply).ok()) {
  }
  return 0;
}

// Nanoseconds per call of `call`, over `calls` calls.
template <class F>
double PerCallNs(size_t calls, F&& call) {
  const auto start = Clock::now();
  for (size_t i = 0; i < calls; ++i) call();
  return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / static_cast<double>(calls);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

struct Settings {
  std::wstring server = tally::client::ProgramBesideSelf(L"../DromikaCmd");
  size_t rounds = 61;
  size_t calls = 500;
};

Settings Parse(int argc, char** argv) {
  Settings settings;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--server")) settings.server = str::as_wstring(argv[i + 1]);
    if (!std::strcmp(argv[i], "--rounds")) settings.rounds = std::stoul(argv[i + 1]);
    if (!std::strcmp(argv[i], "--calls")) settings.calls = std::stoul(argv[i + 1]);
  }
  return settings;
}

void Fail(const char* what, const qtl::status& status) {
  std::fprintf(stderr, "%s: %s\n", what, str::as_u8string(status.text()).c_str());
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && !std::strcmp(argv[1], "RunServer") && !std::strncmp(argv[2], "/pipename:", 10)) {
    return Echo(argv[2] + 10, std::stoul(argv[3] + std::strlen("/replybytes:")));
  }
  const Settings settings = Parse(argc, argv);
  std::unique_ptr<tally::TallyClient> client;
  qtl::status status = tally::TallyClient::Start({settings.server, {}}, client);
  if (!status.ok()) Fail("starting the server", status);

  // The sizes of one real exchange decide the sizes of the bare one.
  const std::string request = sys::message::frame::EncodeRequest("TrackEvent", str::as_u8string(kEventName));
  std::string reply;
  if (!(status = client->Call("TrackEvent", str::as_u8string(kEventName), reply)).ok()) Fail("TrackEvent", status);

  std::unique_ptr<tally::client::ServerProcess> peer;
  tally::client::LaunchOptions echo{tally::client::ProgramBesideSelf(L"bench_ping_pong"),
                                    {L"/replybytes:" + std::to_wstring(reply.size())}};
  if (!(status = tally::client::LaunchServer(echo, peer)).ok()) Fail("starting the echo peer", status);
  sys::message::FrameConnection bare(peer->TakeStream(), 1024);

  std::string answer;
  auto real = [&] { (void)client->TrackEvent(kEventName); };
  auto pingPong = [&] { (void)bare.Write(request), (void)bare.Read(answer); };
  PerCallNs(settings.calls, real);  // warm up both
  PerCallNs(settings.calls, pingPong);
  std::vector<double> realNs, bareNs, ratios;
  for (size_t round = 0; round < settings.rounds; ++round) {
    realNs.push_back(PerCallNs(settings.calls, real));
    bareNs.push_back(PerCallNs(settings.calls, pingPong));
    ratios.push_back(realNs.back() / bareNs.back());
  }
  if (!client->Connected() || answer.size() != reply.size()) Fail("a connection broke", qtl::status::error(L"during the rounds"));
  std::printf("frames                 request %zu bytes, reply %zu bytes (payload)\n", request.size(), reply.size());
  std::printf("rounds                 %zu x %zu calls each way\n", settings.rounds, settings.calls);
  std::printf("TrackEvent round trip  %.2f us (median of rounds)\n", Median(realNs) / 1000);
  std::printf("bare ping-pong         %.2f us (median of rounds)\n", Median(bareNs) / 1000);
  std::printf("ratio                  %.2f (median of per-round ratios; aim <= 1.5)\n", Median(ratios));
  int exitCode = 0;
  bare.Close();
  (void)client->Close(exitCode);
  return 0;
}
