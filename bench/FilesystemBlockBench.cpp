// Notes a folder in a FileTree, runs the file system block on it once and
// prints what the block cost: its time, the peak of the heap it held and the
// size of the text it produced. bench/filesystem_block.sh compares these with
// a reference measured in the same run.
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "platform/FileSystem.h"
#include "platform/Machine.h"
#include "report/FileTree.h"
#include "report/blocks/FilesystemBlock.h"
#include "runtime/Str.h"

namespace {

std::atomic<size_t> heapNow{0};
std::atomic<size_t> heapPeak{0};

void* Counted(void* block) {
  if (!block) throw std::bad_alloc();
  const size_t now = heapNow += malloc_usable_size(block);
  for (size_t peak = heapPeak; now > peak && !heapPeak.compare_exchange_weak(peak, now);) {
  }
  return block;
}

void Uncounted(void* block) {
  if (!block) return;
  heapNow -= malloc_usable_size(block);
  std::free(block);
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

void* operator new(size_t size) { return Counted(std::malloc(size ? size : 1)); }
void* operator new[](size_t size) { return Counted(std::malloc(size ? size : 1)); }
void operator delete(void* block) noexcept { Uncounted(block); }
void operator delete[](void* block) noexcept { Uncounted(block); }
void operator delete(void* block, size_t) noexcept { Uncounted(block); }
void operator delete[](void* block, size_t) noexcept { Uncounted(block); }

struct Run {
  double seconds;
  size_t heapPeak;
  size_t chars;
  size_t utf8Bytes;
};

// One production of the block; the heap it held at its peak is counted from
// what was in use before it started.
Run Produce(const platform::Machine& machine, FileTree& tree) {
  const size_t before = heapNow;
  heapPeak = before;
  const auto start = std::chrono::steady_clock::now();
  std::wstring text = dromika::FilesystemBlock(machine, &tree).Produce();
  const auto done = std::chrono::steady_clock::now();
  const size_t peak = heapPeak - before;
  return {Seconds(done - start), peak, text.size(), str::as_u8string(text).size()};
}

// FOLDER [RUNS]: the fastest of RUNS productions (default 3) and the largest peak.
int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s FOLDER [RUNS]\n", argv[0]);
    return 2;
  }
  std::string folder = argv[1];
  if (folder.back() != '/') folder += '/';
  const int runs = argc == 3 ? std::max(1, std::atoi(argv[2])) : 3;
  const auto& machine = platform::HostMachine();
  FileTree tree(*machine.files);

  const auto noteStart = std::chrono::steady_clock::now();
  tree.AddFolderContents(&tree, str::as_wstring(folder), true);
  const auto noted = std::chrono::steady_clock::now();

  Run best{1e9, 0, 0, 0};
  size_t peak = 0;
  for (int i = 0; i < runs; ++i) {
    const Run run = Produce(machine, tree);
    peak = std::max(peak, run.heapPeak);
    if (run.seconds < best.seconds) best = run;
  }

  std::printf("note_seconds=%.3f\n", Seconds(noted - noteStart));
  std::printf("block_seconds=%.3f\n", best.seconds);
  std::printf("text_chars=%zu\n", best.chars);
  std::printf("text_bytes=%zu\n", best.chars * sizeof(wchar_t));
  std::printf("utf8_bytes=%zu\n", best.utf8Bytes);
  std::printf("heap_peak_bytes=%zu\n", peak);
  return 0;
}
