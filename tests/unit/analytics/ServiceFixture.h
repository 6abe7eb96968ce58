// An AnalyticsService on the in-memory machine, with a clock the test moves,
// an uploader that keeps what it is given, and its progress lines kept.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "analytics/AnalyticsService.h"
#include "testing/MemoryMachine.h"

class ServiceFixture : public ::testing::Test {
 protected:
  ServiceFixture() {
    memory.program.versions[memory.program.modulePath] = L"10.2.0.7";
    Restart();
  }

  // A new service whose start is the clock's present reading.
  void Restart() {
    service = std::make_unique<qrn::analytics::impl::AnalyticsService>(
        memory.machine(), [this] { return now; },
        [this](const std::wstring& document) {
          uploads.push_back(document);
          return uploadResult;
        },
        [this](const std::wstring& line) { lines.push_back(line); });
  }

  void AdvanceMs(int64_t ms) { now += std::chrono::milliseconds(ms); }

  static std::wstring Head() {
    return L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<dromika version='10.2' versionDisplay='10.2.0.7'>\r\n";
  }

  platform::MemoryMachine memory;
  std::chrono::nanoseconds now{std::chrono::hours(1000)};  // any epoch: only differences count
  std::vector<std::wstring> uploads;
  qtl::status uploadResult;
  std::vector<std::wstring> lines;  // the service's progress lines
  std::unique_ptr<qrn::analytics::impl::AnalyticsService> service;
};
