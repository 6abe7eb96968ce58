#include "Common/TextFile.h"

#include "runtime/AtomicFile.h"
#include "runtime/Str.h"

qtl::status SaveText(const std::wstring& path, const std::wstring& text) {
  // The CR LF is made here, so both hosts write the same bytes.
  std::string bytes = str::as_u8string(text);
  str::replace_all(bytes, std::string("\n"), std::string("\r\n"));
  return sys::file::SaveAtomically(path, bytes);
}

bool SaveTextToFile(const std::wstring& path, const std::wstring& text) { return SaveText(path, text).ok(); }
