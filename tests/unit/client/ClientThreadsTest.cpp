// One client shared by many threads, against the real service and remote-call
// worker over an in-memory pipe, on both hosts.
#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "analytics/AnalyticsService.h"
#include "analytics/RemoteCallBinding.h"
#include "client/TallyClient.h"
#include "runtime/RemoteCallWorker.h"
#include "runtime/Str.h"
#include "testing/MemoryMachine.h"
#include "testing/MemoryPipe.h"
#include "testing/TempFolder.h"

namespace {

constexpr int kThreads = 8;
constexpr int kEventsPerThread = 10000;

// The server's side of DromikaCmd RunServer, in this process.
struct InProcessServer {
  InProcessServer() {
    sys::server::RemoteCallRegistry registry = sys::server::MakeRemoteCallRegistry(service);
    worker = sys::server::MakeRemoteCallWorker(registry, pipe.second, pipe.second);
  }
  ~InProcessServer() { (void)sys::thread::Worker::Join(worker, 0xFFFFFFFF); }

  platform::MemoryMachine memory;
  qrn::analytics::impl::AnalyticsService service{memory.machine()};
  sys::message::MemoryPipePair pipe = sys::message::MakeMemoryPipePair();
  sys::thread::Worker::Handle worker;
};

// Each thread's event numbers in the order the document lists them.
std::vector<std::vector<int>> EventsByThread(const std::string& document) {
  std::vector<std::vector<int>> threads(kThreads);
  const std::regex event("<event name=\"t(\\d+)\\.(\\d+)\"");
  for (std::sregex_iterator it(document.begin(), document.end(), event), end; it != end; ++it) {
    threads.at(std::stoi((*it)[1])).push_back(std::stoi((*it)[2]));
  }
  return threads;
}

TEST(ClientThreads, EveryEventOfEveryThreadReachesTheDocumentInThatThreadsOrder) {
  std::vector<int> expected(kEventsPerThread);
  for (int n = 0; n < kEventsPerThread; ++n) expected[n] = n;
  for (const bool queued : {false, true}) {
    SCOPED_TRACE(queued ? "queued" : "direct");
    testing::TempFolder folder;
    InProcessServer server;
    // Room for every event and the two queued calls after them.
    tally::TallyClient client(server.pipe.first, nullptr, {queued, kThreads * kEventsPerThread + 2});
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&client, &failures, t] {
        for (int n = 0; n < kEventsPerThread; ++n) {
          if (!client.TrackEvent(L"t" + std::to_wstring(t) + L"." + std::to_wstring(n)).ok()) ++failures;
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
    qtl::status processed = qtl::status::error(L"not run");
    EXPECT_TRUE(client.AddStandardGroup(qrn::analytics::EventsGroup).ok() &&
                client.SaveTo(folder.Path(L"threads.xml")).ok() && client.Process(processed).ok());
    EXPECT_TRUE(processed.ok()) << str::as_u8string(processed.text());
    int exitCode = -1;
    const qtl::status closed = client.Close(exitCode);
    EXPECT_TRUE(closed.ok()) << str::as_u8string(closed.text());
    EXPECT_EQ(failures, 0);
    for (const std::vector<int>& events : EventsByThread(folder.Read(L"threads.xml"))) EXPECT_EQ(events, expected);
  }
}

}  // namespace
