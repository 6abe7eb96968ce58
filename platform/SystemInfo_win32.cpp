#include <windows.h>

#include <ctime>
#include <cwchar>

#include "platform/SystemInfo.h"

namespace platform {
namespace {

std::wstring Formatted(const wchar_t* format, const struct tm& local) {
  wchar_t buffer[128];
  const size_t length = wcsftime(buffer, 128, format, &local);
  return std::wstring(buffer, length);  // 0 when the text does not fit
}

class WindowsSystemInfo : public SystemInfo {
 public:
  ProcessorSummary Processors() override {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    return {info.dwNumberOfProcessors, info.dwProcessorType, info.wProcessorArchitecture, info.wProcessorLevel,
            info.wProcessorRevision};
  }

  MemoryFigures Memory() override {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;  // 64
    GlobalMemoryStatusEx(&status);
    return {status.ullTotalPhys, status.ullTotalPageFile, status.ullAvailPageFile};
  }

  TimeTexts LocalTime() override {
    const __time64_t now = _time64(nullptr);
    struct tm local {};
    _localtime64_s(&local, &now);
    return {Formatted(L"%H:%M:%S", local), Formatted(L"%d/%m/%Y", local), ZoneName()};
  }

 private:
  // The C runtime's %Z widens the ANSI zone name byte by byte, which garbles
  // names outside the Latin alphabets; the system gives them in Unicode.
  static std::wstring ZoneName() {
    DYNAMIC_TIME_ZONE_INFORMATION zone{};
    const DWORD current = GetDynamicTimeZoneInformation(&zone);
    if (current == TIME_ZONE_ID_INVALID) return std::wstring();
    const wchar_t* name = current == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightName : zone.StandardName;
    return std::wstring(name, wcsnlen(name, 32));
  }
};

}  // namespace

SystemInfo& HostSystemInfo() {
  static WindowsSystemInfo info;
  return info;
}

}  // namespace platform
