// What only the real Windows host shows: the executables' manifest, the
// extended path form, the time zone's own name, and the server's job.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <filesystem>
#include <string>

#include "platform/Program.h"
#include "platform/SystemInfo.h"
#include "runtime/LongPath.h"
#include "runtime/Str.h"

namespace {

// The folder that holds DromikaCmd.exe and tally-client.exe: the tests' parent folder.
std::wstring BuildFolder() {
  std::wstring self = platform::HostProgram().ModulePath();
  self.erase(self.rfind(L'\\'));
  return self.substr(0, self.rfind(L'\\') + 1);
}

std::string ManifestOf(HMODULE module) {
  HRSRC found = FindResourceW(module, CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST);
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  if (!loaded) return std::string();
  return std::string(static_cast<const char*>(LockResource(loaded)), SizeofResource(module, found));
}

// Without the manifest, a scaled display reports virtualised monitor sizes.
TEST(WindowsExecutables, CarryTheApplicationManifest) {
  HMODULE program = LoadLibraryExW((BuildFolder() + L"DromikaCmd.exe").c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(program, nullptr);
  const std::string manifests[] = {ManifestOf(nullptr), ManifestOf(program)};
  FreeLibrary(program);
  for (const auto& manifest : manifests) {
    for (const char* part : {"PerMonitorV2", "true/pm", "level=\"asInvoker\"",
                             "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
      EXPECT_NE(manifest.find(part), std::string::npos) << part << " in:\n" << manifest;
    }
  }
}

TEST(ExtendedPath, IsAbsoluteNormalAndExtended) {
  const std::wstring here = (std::filesystem::current_path() / "").wstring();
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"C:\\a\\b.txt", L"\\\\?\\C:\\a\\b.txt"}, {L"C:\\a\\", L"\\\\?\\C:\\a\\"},
      {L"C:/a/./b/../c.txt", L"\\\\?\\C:\\a\\c.txt"}, {L"rel\\f.txt", L"\\\\?\\" + here + L"rel\\f.txt"},
      {L"\\\\server\\share\\x.txt", L"\\\\?\\UNC\\server\\share\\x.txt"},
      {L"//server/share/x.txt", L"\\\\?\\UNC\\server\\share\\x.txt"},
      {L"\\\\?\\C:\\kept\\..\\as is", L"\\\\?\\C:\\kept\\..\\as is"},
      {L"\\\\?\\UNC\\server\\share", L"\\\\?\\UNC\\server\\share"}, {L"\\\\.\\pipe\\name", L"\\\\.\\pipe\\name"},
      {L"", L""},
      {L"C:\\" + std::wstring(300, L'x') + L"\\y", L"\\\\?\\C:\\" + std::wstring(300, L'x') + L"\\y"},
  };
  for (const auto& [given, expected] : cases) EXPECT_EQ(sys::file::ExtendedPath(given), expected) << given.size();
}

TEST(HostSystemInfo, ZoneIsTheSystemsNameForStandardOrDaylightTime) {
  DYNAMIC_TIME_ZONE_INFORMATION zone{};
  const DWORD current = GetDynamicTimeZoneInformation(&zone);
  ASSERT_NE(current, TIME_ZONE_ID_INVALID);
  const std::wstring expected = current == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightName : zone.StandardName;
  EXPECT_FALSE(expected.empty());
  EXPECT_EQ(platform::HostSystemInfo().LocalTime().zone, expected);
}

// A child of `parent` that is in a job; null when none shows up within about ten seconds.
HANDLE ServerInAJob(DWORD parent) {
  for (int attempt = 0; attempt < 100; ++attempt, Sleep(100)) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    HANDLE child = nullptr;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !child; more = Process32NextW(snapshot, &entry)) {
      if (entry.th32ParentProcessID != parent) continue;
      child = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    BOOL inJob = FALSE;
    if (child && IsProcessInJob(child, nullptr, &inJob) && inJob) return child;
    if (child) CloseHandle(child);
  }
  return nullptr;
}

// The client holds the only handle to the server's job: when the client's
// process is killed, the server ends with it.
TEST(ServerProcess, EndsWhenTheClientIsKilled) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE input = nullptr, script = nullptr;  // the client waits for lines that never come
  ASSERT_TRUE(CreatePipe(&input, &script, &inherit, 0));
  SetHandleInformation(script, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = startup.hStdError =
      CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
  const std::wstring program = BuildFolder() + L"tally-client.exe";
  std::wstring command = L"\"" + program + L"\"";
  PROCESS_INFORMATION client{};
  ASSERT_TRUE(
      CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &client));
  for (HANDLE handle : {client.hThread, input, startup.hStdOutput}) CloseHandle(handle);

  HANDLE server = ServerInAJob(client.dwProcessId);
  TerminateProcess(client.hProcess, 9);
  WaitForSingleObject(client.hProcess, 10000);
  for (HANDLE handle : {client.hProcess, script}) CloseHandle(handle);
  ASSERT_NE(server, nullptr) << "no server in a job";
  const DWORD ended = WaitForSingleObject(server, 10000);
  if (ended != WAIT_OBJECT_0) TerminateProcess(server, 1);
  CloseHandle(server);
  EXPECT_EQ(ended, WAIT_OBJECT_0);
}

}  // namespace
