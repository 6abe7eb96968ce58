// A file read through the standard I/O library, as the report reads file
// content: 64-bit positions, the stream's own error and end-of-file flags.
#pragma once
#include <cstdio>

#include "platform/FileSystem.h"

namespace platform {

// The host's 64-bit ftell/fseek (ftello/fseeko on Linux, _ftelli64/_fseeki64 on Windows).
int64_t Tell64(std::FILE* file);
int Seek64(std::FILE* file, int64_t offset, int origin);

class StdioFile : public ReadableFile {
 public:
  explicit StdioFile(std::FILE* file) : file_(file) {}
  ~StdioFile() override { std::fclose(file_); }
  StdioFile(const StdioFile&) = delete;
  StdioFile& operator=(const StdioFile&) = delete;

  int64_t Length() override;
  bool Seek(int64_t offset, bool fromEnd) override;
  Chunk Read(size_t n) override;

 private:
  std::FILE* file_;
};

}  // namespace platform
