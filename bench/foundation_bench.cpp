// The file tree's cost per name must not grow with the folder's size, and
// escaping must stay one pass. Run: build/bench/bench/foundation_bench
// (tools/bench.sh); compare the per-item times of the 10k and 100k runs, and
// XmlEscape's bytes/s with memcpy's.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "report/FileTree.h"
#include "report/XmlText.h"
#include "testing/MemoryFileSystem.h"

namespace {

std::vector<std::wstring> Names(size_t count) {
  std::vector<std::wstring> names;
  names.reserve(count);
  for (size_t i = 0; i < count; ++i) names.push_back(L"file-" + std::to_wstring(i * 7919 % count) + L".log");
  return names;
}

void FileTreeAddNames(benchmark::State& state) {
  platform::MemoryFileSystem files(platform::MemoryFileSystem::Style::kWindows);
  const auto names = Names(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    FileTree tree(files);
    for (const auto& name : names) tree.AddFileName(&tree, name);
    benchmark::DoNotOptimize(tree.files.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(FileTreeAddNames)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// A log line dense in what must be escaped, and a plain one.
const std::wstring kMarkupLine = L"2026-12-06 09:07:03 <info> caf\u00e9 \"user\" & job\t42 done\r\n";
const std::wstring kPlainLine = L"2026-12-06 09:07:03 info: job 42 finished in 17 ms, 3 files written\n";

std::wstring SampleText(size_t characters, const std::wstring& line) {
  std::wstring text;
  while (text.size() < characters) text += line;
  return text;
}

constexpr size_t kCharacters = 1 << 20;

void XmlEscapeText(benchmark::State& state, const std::wstring& line) {
  const std::wstring text = SampleText(kCharacters, line);
  for (auto _ : state) benchmark::DoNotOptimize(XmlEscape(text));
  state.SetBytesProcessed(state.iterations() * text.size() * sizeof(wchar_t));
}
BENCHMARK_CAPTURE(XmlEscapeText, markup, kMarkupLine)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(XmlEscapeText, plain, kPlainLine)->Unit(benchmark::kMicrosecond);

void MemcpyReference(benchmark::State& state) {
  const std::wstring text = SampleText(kCharacters, kPlainLine);
  std::wstring copy(text.size(), L' ');
  for (auto _ : state) {
    std::memcpy(copy.data(), text.data(), text.size() * sizeof(wchar_t));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * text.size() * sizeof(wchar_t));
}
BENCHMARK(MemcpyReference)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
