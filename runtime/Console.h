// Console output: a terminal receives Unicode, a pipe or a file UTF-8 without
// a byte-order mark. Writes are unbuffered, so nothing waits for a flush.
#pragma once
#include <string_view>

namespace sys::console {

enum class Stream { kOut, kErr };

// Prepares the console for Unicode output; called once, first.
void SetAsUnicode();

// Makes the standard streams safe to lose, before anything else opens a file
// or a socket. Linux: descriptors 0 to 2 that are closed are opened on
// /dev/null, so no later file or connection takes their number and receives
// console text; SIGPIPE is ignored unless the process has its own handler,
// so a reader that went away fails a write instead of ending the process.
// Windows needs nothing. Idempotent.
void GuardStandardStreams();

// Writes `text` as it stands; "\n" ends a line (Windows pipes and files get CR LF).
// Failures are ignored: console output never fails the run.
void Write(Stream stream, std::wstring_view text);

}  // namespace sys::console
