#pragma once
#include <string>

#include "runtime/Status.h"

// Saves the whole text as UTF-8 without a byte-order mark, every line feed as
// CR LF, replacing the file at `path` in one step (sys::file::SaveAtomically):
// a failed save leaves the previous file as it was. The failure's status
// names the path and why.
qtl::status SaveText(const std::wstring& path, const std::wstring& text);

// SaveText as a yes or no; on false the system's last error tells why.
bool SaveTextToFile(const std::wstring& path, const std::wstring& text);
