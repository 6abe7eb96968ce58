// The page of one document as a person reads it, written in one streaming
// pass over the XML: the same page for a stored document and for `render`.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "collector/pages/Html.h"
#include "collector/base/Status.h"

namespace collector::pages {

// File excerpts shown on one page, in total; the ones past it are left out
// with a pointer to the raw bytes, so that a large report stays usable.
constexpr size_t kExcerptBudget = 4u << 20;

struct DocumentPageOptions {
  Assets assets = Assets::kLinked;
  std::string title;    // the page heading
  std::string rawLink;  // where the raw bytes are; empty when there is no such link
  std::string info;     // HTML (already escaped) shown under the heading
  size_t excerptBudget = kExcerptBudget;
  bool linkEvents = false;  // event names link to their pages (a page the collector serves)
};

// Appends the whole page to `html`. A document that is not well formed, or
// that the collector refuses to read, gives a page with the parser's message
// and the raw text; only a failure to start the reader fails.
Status RenderDocumentPage(std::string_view xml, const DocumentPageOptions& options, std::string& html);

}  // namespace collector::pages
