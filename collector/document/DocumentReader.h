// Reads a report or analytics document as a stream of nodes (never a whole
// tree) and collects the rows a store keeps: events, the client's data
// points, and the machine facts of the system and disk blocks.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "collector/document/DocumentRows.h"
#include "collector/base/Status.h"

namespace collector {

// Elements nested deeper than this below the root refuse the document.
constexpr int kMaxDocumentDepth = 64;
// Elements with more attributes than this refuse the document: far past any
// real document, and the parser's time grows much faster than their number.
constexpr size_t kMaxAttributesPerElement = 1024;
// Why a document with a document type declaration is refused.
constexpr const char* kNoDocumentType = "a document type declaration is not accepted";

// What the rows of one document may take: a few times its own size, so no
// document multiplies into much more than itself in memory or in a store.
struct RowBudget {
  static constexpr int64_t kBytesPerDocumentByte = 4;
  static constexpr int64_t kSpareBytes = 1 << 20;
  int64_t rows = 0;   // events and data points
  int64_t bytes = 0;  // of their names, values and group paths
  static RowBudget For(size_t documentBytes) {
    const auto size = static_cast<int64_t>(documentBytes);
    return {size / 4 + 1024, kBytesPerDocumentByte * size + kSpareBytes};
  }
};

// Why a document is refused before it is parsed, or nothing when it may be.
std::optional<std::string> PrescanRefusal(std::string_view xml);

// A document that is not well formed, or whose root is not a report, is not
// an error: `rows` says unparsed, carries the parser's message and no rows.
// A failing status refuses the document outright (a document type
// declaration, which could define entities, or nesting past `maxDepth`); then
// nothing of it may be kept. The text must be under 2 GiB.
Status ReadDocument(std::string_view xml, DocumentRows& rows, int maxDepth = kMaxDocumentDepth);

// "%dd %d:%02d:%02d.%03d" back to milliseconds; empty for any other text.
std::optional<int64_t> ParseElapsed(std::string_view text);

}  // namespace collector
