#pragma once
#include <string>
#include <vector>

#include "Common/Export.h"

// Replaces ids with the distinct identifiers of text, sorted by code unit.
// Identifiers are the maximal runs of characters other than space, comma,
// semicolon, line feed, carriage return, slash and backslash.
DROMIKA_EXPORT void SplitIds(std::vector<std::wstring>& ids, const std::wstring& text);
