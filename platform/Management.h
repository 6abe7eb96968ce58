// The machine's management source: objects of management classes
// (Win32_OperatingSystem, Win32_Process, ...) with named properties, asked for
// with a query text. Windows asks WMI over COM; Linux answers the same
// classes from /proc, /sys and /etc; tests use MemoryManagement.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "runtime/Status.h"

namespace platform {

// One result object. Valid only inside the visit that hands it out.
class ManagementObject {
 public:
  virtual ~ManagementObject() = default;
  // The non-system property names, in the order the source lists them;
  // empty when they cannot be read.
  virtual std::vector<std::wstring> PropertyNames() = 0;
  // The property's text as the value conversion rules give it; empty for a
  // null value, an unconvertible type or a property that cannot be read.
  virtual std::wstring PropertyText(const std::wstring& name) = 0;
};

// A connected session. Destroying it disconnects (Windows: releases the
// COM objects and uninitialises COM on the thread that connected).
class ManagementSession {
 public:
  virtual ~ManagementSession() = default;
  // Runs one query and visits each result object in delivery order. A query
  // that fails visits nothing; nothing is raised except an allocation failure.
  virtual void Query(const std::wstring& query, const std::function<void(ManagementObject&)>& visit) = 0;
};

class Management {
 public:
  virtual ~Management() = default;
  // Connects to the local namespace on the calling thread. On failure the
  // session stays null and the status carries what failed.
  virtual qtl::status Connect(std::unique_ptr<ManagementSession>& session) = 0;
};

Management& HostManagement();

// Whether COM security is in place after CoInitializeSecurity answered
// `result`: success, or RPC_E_TOO_LATE when it was set earlier in this
// process (it can be set once only, and the earlier setting holds).
bool ComSecurityReady(int32_t result);

// The class of a "SELECT * FROM Class" query (keywords in any case, blanks
// anywhere between words); empty for any other query.
std::wstring SelectAllClass(const std::wstring& query);

// A property list kept as name and text pairs: the rows of sources that
// are not WMI.
using PropertyList = std::vector<std::pair<std::wstring, std::wstring>>;

class PropertyListObject : public ManagementObject {
 public:
  explicit PropertyListObject(const PropertyList& properties) : properties_(properties) {}
  std::vector<std::wstring> PropertyNames() override;
  std::wstring PropertyText(const std::wstring& name) override;

 private:
  const PropertyList& properties_;
};

}  // namespace platform
