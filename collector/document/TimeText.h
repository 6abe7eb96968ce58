// Times as the API writes and reads them: UTC, ISO 8601.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace collector {

// "2026-12-06T10:38:22.123Z".
std::string FormatUtc(int64_t unixMs);
// "YYYY-MM-DD", "YYYY-MM-DDTHH:MM[:SS[.fff]]" with an optional "Z", all UTC,
// or a whole number of Unix milliseconds. Empty for anything else.
std::optional<int64_t> ParseUtc(std::string_view text);

}  // namespace collector
