// Reads a report or analytics document as a stream of nodes (never a whole
// tree) and collects the rows a store keeps: events, the client's data
// points, and the machine facts of the system and disk blocks.
#pragma once
#include <string_view>

#include "collector/document/DocumentRows.h"
#include "collector/base/Status.h"

namespace collector {

// Elements nested deeper than this below the root refuse the document.
constexpr int kMaxDocumentDepth = 64;
// Why a document with a document type declaration is refused.
constexpr const char* kNoDocumentType = "a document type declaration is not accepted";

// A document that is not well formed, or whose root is not a report, is not
// an error: `rows` says unparsed, carries the parser's message and no rows.
// A failing status refuses the document outright (a document type
// declaration, which could define entities, or nesting past `maxDepth`); then
// nothing of it may be kept. The text must be under 2 GiB.
Status ReadDocument(std::string_view xml, DocumentRows& rows, int maxDepth = kMaxDocumentDepth);

// "%dd %d:%02d:%02d.%03d" back to milliseconds; empty for any other text.
std::optional<int64_t> ParseElapsed(std::string_view text);

}  // namespace collector
