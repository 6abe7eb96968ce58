// The WMI query layer the blocks use: a connection to the machine's
// management source, queries whose result objects become WmiRows, and the
// rendering of rows as empty XML elements. Nothing here writes to the console.
#pragma once
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Management.h"
#include "runtime/Status.h"
#include "runtime/Str.h"

// Property name to property text, in UTF-16 code unit order on every host;
// a name inserted twice keeps its first text.
using WmiRow = std::map<std::wstring, std::wstring, str::Utf16Less>;

// Connected or not; connected means it holds a session of the source.
// Used only on the thread that connected it.
class WmiConnection {
 public:
  // A null source never connects.
  explicit WmiConnection(platform::Management* management) : management_(management) {}
  ~WmiConnection() { (void)Disconnect(); }
  WmiConnection(const WmiConnection&) = delete;
  WmiConnection& operator=(const WmiConnection&) = delete;

  // Success at once when connected; otherwise the source's error, still disconnected.
  qtl::status Connect();
  // Always succeeds; harmless when not connected.
  qtl::status Disconnect();
  platform::ManagementSession* Session() const { return session_.get(); }

 private:
  platform::Management* management_;
  std::unique_ptr<platform::ManagementSession> session_;
};

// Owns at most one connection; empty when connecting failed.
using WmiConnectionPtr = std::unique_ptr<WmiConnection>;

// A connected connection, or an empty pointer; the reason is dropped.
WmiConnectionPtr OpenWmiConnection(platform::Management* management);

// One row per result object, in delivery order; no rows through an empty pointer.
std::vector<WmiRow> WmiQuery(const WmiConnectionPtr& connection, const std::wstring& query);

std::vector<std::wstring> GetPropertyNames(platform::ManagementObject& object);
std::wstring GetPropertyText(platform::ManagementObject& object, const std::wstring& name);

// One line per row: indent, "<", element, then name="value" for every entry
// not excluded (exact names), both escaped, then "/>". Lines are joined with
// CR LF and the last has none; no rows give the empty text.
std::wstring WmiRowsToXml(const std::vector<WmiRow>& rows, const std::wstring& element, const std::wstring& indent,
                          const std::vector<std::wstring>& excluded);
std::wstring WmiRowsToXml(const std::vector<WmiRow>& rows, const std::wstring& element, const std::wstring& indent);
