// Builds bench/fleet.sh's stores: stores the files named on standard input,
// one a line, as `import` would, but from 8 threads, so that the store's
// group commit writes many documents per transaction.
//   bench_fleet_load STORE_URL < FILES
#include <atomic>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "collector/document/Import.h"
#include "collector/document/Ingest.h"

using namespace collector;

int main(int argc, char** argv) {
  if (argc != 2) return std::fprintf(stderr, "usage: bench_fleet_load STORE_URL < FILES\n"), 2;
  std::unique_ptr<Store> store;
  if (auto s = OpenStore(argv[1], store); !s.ok()) return std::fprintf(stderr, "%s\n", s.message().c_str()), 1;
  std::vector<std::string> files;
  for (std::string line; std::getline(std::cin, line);) files.push_back(line);
  std::atomic<size_t> next{0}, failed{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (size_t i; (i = next++) < files.size();) {
        std::string bytes;
        IngestResult result;
        Status s = ReadDocumentFile(files[i], bytes);
        if (s.ok()) s = Ingest(*store, bytes, "import:" + files[i], result);
        if (!s.ok()) {
          ++failed;
          std::fprintf(stderr, "%s: %s\n", files[i].c_str(), s.message().c_str());
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  std::printf("%zu stored, %zu failed\n", files.size() - failed, failed.load());
  return failed == 0 ? 0 : 1;
}
