// The text conventions of the report document.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// True for the characters XML 1.0 allows: tab, line feed, carriage return,
// 0x20-0xD7FF, 0xE000-0xFFFD and 0x10000-0x10FFFF.
bool IsXmlChar(uint32_t u);

// An attribute value in one pass over its UTF-16 code units: characters XML
// does not allow (and both halves of every surrogate pair) are dropped, a line
// feed and 0x20-0x7F pass, the five markup characters become entities, and
// everything else becomes "&#NNN;" (at least three digits). The result is
// ASCII apart from line feeds.
std::wstring XmlEscape(const std::wstring& text);
// XmlEscape appended to out, for writers that build one long text; its
// output being ASCII, it may be appended to narrow text as well.
void AppendXmlEscaped(std::wstring& out, std::wstring_view text);
void AppendXmlEscaped(std::string& out, std::wstring_view text);

// "819 B", "1 KB", "115 GB": the first of TB, GB, MB, KB that reaches 0.8,
// with printf's "%1.0f" rounding; a non-zero step first rounds bytes to the
// nearest multiple of step (a tie goes down).
std::wstring FormatByteSize(uint64_t bytes, uint64_t step);
