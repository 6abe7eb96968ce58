// The pieces every page of the site shares (SitePages.cpp), for the pages
// that live in files of their own.
#pragma once
#include <string>
#include <vector>

#include "collector/base/Response.h"
#include "collector/pages/PageData.h"

namespace collector::pages {

Response HtmlPage(int code, std::string body);
Response ErrorPage(int code, const std::string &message);
Response StoreFailed(const Status &s);
// The page's start, its heading and the range it covers.
std::string ScopeHeading(const std::string &title, const Scope &scope);
// The range presets and the from/to form, for a page at `base`.
std::string ScopeFilters(const Scope &scope, const std::string &base);
std::string DocumentsTable(const std::vector<DocumentInfo> &documents);
std::string CountCell(int64_t value);

} // namespace collector::pages
