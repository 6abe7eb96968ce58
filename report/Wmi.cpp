#include "report/Wmi.h"

#include <algorithm>

#include "report/XmlText.h"

qtl::status WmiConnection::Connect() {
  if (session_) return qtl::status();
  if (!management_) return qtl::status::error(L"Failed to connect to WMI server");
  return management_->Connect(session_);
}

qtl::status WmiConnection::Disconnect() {
  session_.reset();
  return qtl::status();
}

WmiConnectionPtr OpenWmiConnection(platform::Management* management) {
  auto connection = std::make_unique<WmiConnection>(management);
  if (!connection->Connect().ok()) return nullptr;
  return connection;
}

std::vector<WmiRow> WmiQuery(const WmiConnectionPtr& connection, const std::wstring& query) {
  std::vector<WmiRow> rows;
  if (!connection || !connection->Session()) return rows;
  connection->Session()->Query(query, [&rows](platform::ManagementObject& object) {
    WmiRow row;
    for (const auto& name : GetPropertyNames(object)) row.emplace(name, GetPropertyText(object, name));
    rows.push_back(std::move(row));
  });
  return rows;
}

std::vector<std::wstring> GetPropertyNames(platform::ManagementObject& object) { return object.PropertyNames(); }

std::wstring GetPropertyText(platform::ManagementObject& object, const std::wstring& name) {
  return object.PropertyText(name);
}

// Appended piece by piece rather than through the formatter: a process list
// has thousands of attributes.
std::wstring WmiRowsToXml(const std::vector<WmiRow>& rows, const std::wstring& element, const std::wstring& indent,
                          const std::vector<std::wstring>& excluded) {
  std::wstring text;
  for (const auto& row : rows) {
    if (&row != &rows.front()) text += L"\r\n";
    text += indent + L"<" + element;
    for (const auto& [name, value] : row) {
      if (std::find(excluded.begin(), excluded.end(), name) != excluded.end()) continue;
      text += L" " + XmlEscape(name) + L"=\"" + XmlEscape(value) + L"\"";
    }
    text += L"/>";
  }
  return text;
}

std::wstring WmiRowsToXml(const std::vector<WmiRow>& rows, const std::wstring& element, const std::wstring& indent) {
  return WmiRowsToXml(rows, element, indent, {});
}
