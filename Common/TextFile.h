#pragma once
#include <string>

// Writes the whole text to a new or emptied file as UTF-8 without a
// byte-order mark, every line feed as CR LF. False when the file cannot be
// opened or written; the system's last error then tells why.
bool SaveTextToFile(const std::wstring& path, const std::wstring& text);
