// The whole machine in memory, for tests: every service can be filled by hand.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "platform/Environment.h"
#include "platform/Machine.h"
#include "platform/Program.h"
#include "platform/StaticRegistry.h"
#include "testing/MemoryDrives.h"
#include "testing/MemoryFileSystem.h"
#include "testing/MemoryManagement.h"
#include "testing/MemorySystem.h"

namespace platform {

class MemoryEnvironment : public Environment {
 public:
  // Adds an entry as the block lists it, "name=value" or a hidden "=C:=C:\" entry.
  void AddRawEntry(const std::wstring& entry) { entries_.push_back(entry); }
  void SetMissing(bool missing) { missing_ = missing; }

  std::optional<std::wstring> Variable(const std::wstring& name) override;
  std::optional<std::vector<std::wstring>> Entries() override {
    return missing_ ? std::nullopt : std::optional<std::vector<std::wstring>>(entries_);
  }

 private:
  std::vector<std::wstring> entries_;
  bool missing_ = false;
};

class MemoryProgram : public Program {
 public:
  std::wstring modulePath = L"C:\\Program Files\\Dromika\\DromikaCmd.exe";
  std::map<std::wstring, std::wstring> versions;  // path to version text

  std::wstring ModulePath() override { return modulePath; }
  uint32_t FileVersion(const std::wstring& path, std::wstring& out) override {
    auto found = versions.find(path);
    out = found == versions.end() ? L"" : found->second;
    return found == versions.end() ? kErrorFileInvalid : 0;
  }
};

class MemoryMachine {
 public:
  explicit MemoryMachine(MemoryFileSystem::Style style = MemoryFileSystem::Style::kWindows) : files(style) {}
  MemoryMachine(const MemoryMachine&) = delete;
  MemoryMachine& operator=(const MemoryMachine&) = delete;

  MemoryFileSystem files;
  StaticRegistry registry;
  MemoryEnvironment environment;
  MemoryProgram program;
  MemoryManagement management;
  MemoryMonitors monitors;
  MemoryLocale locale;
  MemorySystemInfo system;
  MemoryDrives drives;
  MemoryNetwork network;

  // The services as the blocks see them; services not held here stay null.
  const Machine& machine() const { return machine_; }
  Machine& machine() { return machine_; }

 private:
  Machine machine_{&files,  &registry,   &environment, &program, &drives,
                   &network, &management, &monitors,    &locale,  &system};
};

}  // namespace platform
