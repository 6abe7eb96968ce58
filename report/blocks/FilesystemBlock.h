#pragma once
#include <cstdint>
#include <string>

#include "platform/Machine.h"
#include "report/Block.h"

class FileTree;
struct FileTreeNode;

namespace platform {
class ReadableFile;
struct FileInfo;
}  // namespace platform

namespace dromika {

// What stands between the head and the tail of a file longer than the limit.
extern const wchar_t* const kContentNotice;
// Files longer than this show their first and last half of it.
constexpr int64_t kContentLimit = 512000;

// The builder's file tree written out: every noted folder as a nested "dir"
// element and every noted file that still exists as a "file" element with its
// size, UTC modification time, the version of programs and libraries and the
// content of text-like files: valid UTF-8 is decoded and every other byte
// becomes the character of the same value, so no byte is lost; a read that
// gives nothing says why (read error, end of file, or neither). The tree is
// the builder's and must outlive the block.
class FilesystemBlock : public Block {
 public:
  FilesystemBlock(const platform::Machine& machine, FileTree* tree) : machine_(machine), tree_(tree) {}
  std::wstring ProgressText() override { return L"Scanning file system..."; }
  std::wstring Produce() override;
  void Write(TextSink& out) override;

 private:
  class Text;
  void WriteFolderTree(Text& out, const FileTreeNode& node, const std::wstring& prefix, int level);
  void WriteFileElement(Text& out, const std::wstring& folderPath, const std::wstring& fileName,
                        const platform::FileInfo& found, const std::wstring& prefix, int level);
  void WriteFileExcerpt(Text& out, const std::wstring& path);
  void WriteFileChunk(Text& out, platform::ReadableFile& file, int64_t n);

  platform::Machine machine_;
  FileTree* tree_;
};

}  // namespace dromika
