// Linux has no management service: the classes the report asks for are
// answered from /proc, /sys and /etc each time they are queried.
#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <cwctype>

#include "platform/Locale.h"
#include "platform/Management.h"
#include "platform/linux/LinuxRows.h"

namespace platform {
namespace {

using linux_text::CivilTime;

CivilTime LocalCivilTime(int64_t seconds) {
  const time_t moment = static_cast<time_t>(seconds);
  struct tm local {};
  localtime_r(&moment, &local);
  return CivilTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                   local.tm_min,         local.tm_sec,      0,             static_cast<int>(local.tm_gmtoff / 60)};
}

std::string UserName() {
  struct passwd entry {};
  struct passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found) return found->pw_name;
  const char* fromEnvironment = getenv("USER");
  return fromEnvironment ? fromEnvironment : "";
}

LinuxHostFacts GatherHostFacts() {
  LinuxHostFacts host;
  struct utsname names {};
  if (uname(&names) == 0) {
    host.hostName = names.nodename;
    host.kernelRelease = names.release;
    host.machine = names.machine;
    host.domainName = names.domainname;
  }
  if (host.domainName == "(none)") host.domainName.clear();
  host.userName = UserName();
  host.ticksPerSecond = sysconf(_SC_CLK_TCK);
  host.pageSize = sysconf(_SC_PAGESIZE);
  host.now = static_cast<int64_t>(time(nullptr));
  host.lcid = HostLocale().UserDefaultLcid();
  tzset();
  host.localTime = LocalCivilTime;
  return host;
}

class LinuxSession : public ManagementSession {
 public:
  void Query(const std::wstring& query, const std::function<void(ManagementObject&)>& visit) override {
    for (const auto& row : Rows(SelectAllClass(query))) {
      PropertyListObject object(row);
      visit(object);
    }
  }

 private:
  // Class names compare without regard to case, as WMI's do.
  static std::vector<PropertyList> Rows(std::wstring className) {
    for (auto& c : className) c = static_cast<wchar_t>(std::towlower(c));
    TextFiles& files = HostTextFiles();
    if (className == L"win32_process") return ProcessRows(files, GatherHostFacts());
    if (className == L"win32_operatingsystem") return {OperatingSystemRow(files, GatherHostFacts())};
    if (className == L"win32_processor") return ProcessorRows(files, GatherHostFacts());
    if (className == L"win32_computersystem") return {ComputerSystemRow(files, GatherHostFacts())};
    return {};
  }
};

class LinuxManagement : public Management {
 public:
  qtl::status Connect(std::unique_ptr<ManagementSession>& session) override {
    session = std::make_unique<LinuxSession>();
    return qtl::status();
  }
};

}  // namespace

Management& HostManagement() {
  static LinuxManagement management;
  return management;
}

}  // namespace platform
