// Stored values as a person reads them: management datetimes, memory counted
// in KiB or bytes, and codes (architectures, system types, locales, drive
// types) with their names. Display only: pages keep the stored text beside
// it, and the stored bytes never change.
#pragma once
#include <string>
#include <string_view>

namespace collector::pages {

// The readable form of `value` of property `field`, or empty when the value
// reads well as stored or is not what the property should hold.
std::string DisplayValue(std::string_view field, std::string_view value);

// "yyyymmddHHMMSS.ffffff+UUU" as "2026-12-07 00:29:28 (UTC+0)"; empty for any other text.
std::string ManagementTime(std::string_view value);

// A Windows locale identifier as "de-DE — German (Germany)"; empty when not known.
std::string LocaleName(unsigned lcid);

// A table cell: the readable value with the stored one in its title, or the
// stored one alone; numbers carry their value for sorting. Escaped.
std::string ValueCell(std::string_view field, std::string_view value);

}  // namespace collector::pages
