#include "Common/TextFile.h"

#include <cstdio>

#include "runtime/File.h"
#include "runtime/Str.h"

bool SaveTextToFile(const std::wstring& path, const std::wstring& text) {
  // Written in binary mode with the CR LF made here, so both hosts write the same bytes.
  std::FILE* file = sys::file::Open(path, "wb");
  if (!file) return false;
  std::string bytes = str::as_u8string(text);
  str::replace_all(bytes, std::string("\n"), std::string("\r\n"));
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool flushed = std::fflush(file) == 0 && !std::ferror(file);
  const bool closed = std::fclose(file) == 0;
  return written && flushed && closed;
}
