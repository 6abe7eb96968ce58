#include "platform/StdioFile.h"

#include <cerrno>

namespace platform {

int64_t StdioFile::Length() {
  const int64_t here = Tell64(file_);
  if (here < 0 || Seek64(file_, 0, SEEK_END) != 0) return -1;
  const int64_t end = Tell64(file_);
  Seek64(file_, here, SEEK_SET);
  return end;
}

bool StdioFile::Seek(int64_t offset, bool fromEnd) {
  return Seek64(file_, offset, fromEnd ? SEEK_END : SEEK_SET) == 0;
}

ReadableFile::Chunk StdioFile::Read(size_t n) {
  Chunk chunk;
  chunk.bytes.resize(n);
  errno = 0;
  chunk.bytes.resize(std::fread(chunk.bytes.data(), 1, n, file_));
  chunk.error = std::ferror(file_) != 0;
  chunk.eof = std::feof(file_) != 0;
  chunk.errorNumber = errno;
  return chunk;
}

}  // namespace platform
