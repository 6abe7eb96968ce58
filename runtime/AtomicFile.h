// Saving a whole file so that a reader sees the old contents or the new ones,
// never a mixture: the bytes go to a new file beside the target, which is
// synced to the disk and then renamed over the target.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/Status.h"

namespace sys::file {

// Replaces the file at `path` with `bytes`. A symbolic link at `path` is
// replaced itself; whatever it pointed to is left alone. A new file is
// readable by its owner only (Linux: mode 0600). On failure the status is
// "Unable to save to PATH: " and the message of the call that failed, the
// target is as it was, no new file is left behind, and the system's last
// error is that call's code. A path holding a NUL character is refused.
qtl::status SaveAtomically(const std::wstring& path, std::string_view bytes);

namespace detail {
// The host's part of SaveAtomically: 0, or the error code of the call that failed.
uint32_t ReplaceContents(const std::wstring& path, std::string_view bytes);
}  // namespace detail

}  // namespace sys::file
