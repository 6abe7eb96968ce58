// A report as keyed rows, section by section, read in one streaming pass:
// what two reports are compared by. Each row is one thing a support engineer
// recognises across runs (an environment variable, a product, a file, a
// running program), named by a key that stays the same between reports.
#pragma once
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "collector/base/Status.h"
#include "collector/compare/DocumentStream.h"

namespace collector {

using Fields = std::vector<std::pair<std::string, std::string>>;

struct ReportRow {
  std::string section;  // as people say it: "Operating system", "Environment", "Files"
  std::string block;    // the report block's element the row comes from
  std::string key;      // unique within the section
  Fields fields;        // compared one by one; values that change on every run are left out unless asked
  std::optional<std::string> excerpt;  // a text file's content as the report holds it
};

// Turns one document into rows, a row at a time. Values that change on
// every run (free memory, clocks, counters, process ids and times) are left
// out of a row's fields unless `all`.
class ReportRowReader {
 public:
  ReportRowReader(DocumentStream& stream, bool all);
  ~ReportRowReader();

  // The next row into `row`; false in `more` at the end. Fails when the
  // document is not well formed, declares a document type, or nests too deep.
  Status Next(ReportRow& row, bool& more);
  // The report blocks the document holds (element names), once read whole.
  const std::set<std::string>& Blocks() const { return blocks_; }

 private:
  class Walker;
  std::string error_;
  XmlReader reader_;
  std::unique_ptr<Walker> walker_;
  std::set<std::string> blocks_;
};

// Whether `field` of `section` changes on every run.
bool IsVolatile(std::string_view section, std::string_view field);

}  // namespace collector
