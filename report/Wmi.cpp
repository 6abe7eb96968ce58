#include "report/Wmi.h"

#include <algorithm>

#include "report/XmlText.h"
#include "runtime/Format.h"

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

std::wstring WmiRowsToXml(const std::vector<WmiRow>& rows, const std::wstring& element, const std::wstring& indent,
                          const std::vector<std::wstring>& excluded) {
  std::vector<std::wstring> lines;
  for (const auto& row : rows) {
    std::vector<std::wstring> pieces{element};
    for (const auto& [name, value] : row) {
      if (std::find(excluded.begin(), excluded.end(), name) != excluded.end()) continue;
      pieces.push_back(str::snprintf(L"%s=\"%s\"", XmlEscape(name), XmlEscape(value)));
    }
    lines.push_back(str::snprintf(L"%s<%s/>", indent, str::join(pieces, std::wstring(L" "))));
  }
  return str::join(lines, std::wstring(L"\r\n"));
}

std::wstring WmiRowsToXml(const std::vector<WmiRow>& rows, const std::wstring& element, const std::wstring& indent) {
  return WmiRowsToXml(rows, element, indent, {});
}
