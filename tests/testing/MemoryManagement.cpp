#include "testing/MemoryManagement.h"

namespace platform {

class MemoryManagement::Session : public ManagementSession {
 public:
  explicit Session(MemoryManagement& owner) : owner_(owner) { ++owner_.openSessions; }
  ~Session() override { --owner_.openSessions; }

  void Query(const std::wstring& query, const std::function<void(ManagementObject&)>& visit) override {
    auto found = owner_.classes_.find(SelectAllClass(query));
    if (found == owner_.classes_.end()) return;
    for (const auto& row : found->second) {
      PropertyListObject object(row);
      visit(object);
    }
  }

 private:
  MemoryManagement& owner_;
};

void MemoryManagement::AddRow(const std::wstring& className, PropertyList row) {
  classes_[className].push_back(std::move(row));
}

qtl::status MemoryManagement::Connect(std::unique_ptr<ManagementSession>& session) {
  if (!failure_.empty()) return qtl::status::error(failure_);
  session = std::make_unique<Session>(*this);
  return qtl::status();
}

}  // namespace platform
