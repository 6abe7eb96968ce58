// A management source held in memory: rows of named classes, answered to
// "SELECT * FROM Class" queries; any other query has no rows.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "platform/Management.h"

namespace platform {

class MemoryManagement : public Management {
 public:
  // Appends a row to the class; properties are listed in the order given.
  void AddRow(const std::wstring& className, PropertyList row);
  // Connecting fails from now on with this message.
  void FailConnect(std::wstring message) { failure_ = std::move(message); }

  qtl::status Connect(std::unique_ptr<ManagementSession>& session) override;

  // The sessions still open.
  int openSessions = 0;

 private:
  class Session;
  std::map<std::wstring, std::vector<PropertyList>> classes_;  // by class name as the product spells it
  std::wstring failure_;
};

}  // namespace platform
