// The file system block as report mode runs it: notes a folder in a
// FileTree, then writes the block's text to OUT a buffer at a time, with
// line feeds as CR LF. bench/filesystem_block.sh runs it under /usr/bin/time
// beside bench/filesystem_reference.py, which does the same work in one
// process, and compares their CPU and peak memory.
//   filesystem_block_bench FOLDER OUT
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/FileSystem.h"
#include "platform/Machine.h"
#include "report/FileTree.h"
#include "report/blocks/FilesystemBlock.h"
#include "runtime/Str.h"

namespace {

class FileSink : public dromika::TextSink {
 public:
  explicit FileSink(std::FILE* file) : file_(file) {}
  void Append(std::string_view text) override {
    converted_.clear();
    for (char c : text) {
      if (c == '\n') converted_ += '\r';
      converted_ += c;
    }
    bytes_ += std::fwrite(converted_.data(), 1, converted_.size(), file_);
  }
  size_t Bytes() const { return bytes_; }

 private:
  std::FILE* file_;
  std::string converted_;
  size_t bytes_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s FOLDER OUT\n", argv[0]);
    return 2;
  }
  std::string folder = argv[1];
  if (folder.back() != '/') folder += '/';
  std::FILE* out = std::fopen(argv[2], "wb");
  if (!out) return std::perror(argv[2]), 1;
  const auto& machine = platform::HostMachine();
  FileTree tree(*machine.files);
  tree.AddFolderContents(&tree, str::as_wstring(folder), true);
  FileSink sink(out);
  dromika::FilesystemBlock(machine, &tree).Write(sink);
  std::printf("utf8_bytes=%zu\n", sink.Bytes());
  return std::fclose(out) == 0 ? 0 : 1;
}
