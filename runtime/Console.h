// Console output: a terminal receives Unicode, a pipe or a file UTF-8 without
// a byte-order mark. Writes are unbuffered, so nothing waits for a flush.
#pragma once
#include <string_view>

namespace sys::console {

enum class Stream { kOut, kErr };

// Prepares the console for Unicode output; called once, first.
void SetAsUnicode();

// Writes `text` as it stands; "\n" ends a line (Windows pipes and files get CR LF).
// Failures are ignored: console output never fails the run.
void Write(Stream stream, std::wstring_view text);

}  // namespace sys::console
