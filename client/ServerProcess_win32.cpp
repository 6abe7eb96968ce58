#include <windows.h>

#include <random>
#include <vector>

#include "client/ServerProcess.h"
#include "runtime/Str.h"
#include "runtime/SystemError.h"

namespace tally::client {
namespace {

constexpr DWORD kPipeBufferBytes = 64 * 1024;

qtl::status SystemFailure(const std::wstring& what, DWORD error) {
  return qtl::status::error(what + L": " + str::as_wstring(QRNErrMsg(error)));
}

struct OwnedHandle {
  HANDLE value = nullptr;
  OwnedHandle() = default;
  explicit OwnedHandle(HANDLE h) : value(h) {}
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() { Reset(); }
  void Reset() {
    if (value && value != INVALID_HANDLE_VALUE) CloseHandle(value);
    value = nullptr;
  }
  HANDLE Release() {
    HANDLE h = value;
    value = nullptr;
    return h;
  }
};

// A DACL with one entry: full access for the user this process runs as.
class CurrentUserOnly {
 public:
  qtl::status Build() {
    OwnedHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token.value)) return SystemFailure(L"Unable to read the process token", GetLastError());
    DWORD size = 0;
    GetTokenInformation(token.value, TokenUser, nullptr, 0, &size);
    user_.resize(size);
    if (!GetTokenInformation(token.value, TokenUser, user_.data(), size, &size)) return SystemFailure(L"Unable to read the process user", GetLastError());
    PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
    acl_.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid));
    PACL acl = reinterpret_cast<PACL>(acl_.data());
    if (!InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION) ||
        !AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, sid) ||
        !InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE)) {
      return SystemFailure(L"Unable to build the pipe's security", GetLastError());
    }
    attributes_ = {sizeof attributes_, &descriptor_, FALSE};
    return qtl::ok_status();
  }
  SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

 private:
  std::vector<BYTE> user_;
  std::vector<BYTE> acl_;
  SECURITY_DESCRIPTOR descriptor_ = {};
  SECURITY_ATTRIBUTES attributes_ = {};
};

std::wstring RandomPipeName() {
  std::random_device random;
  const unsigned long long bits = (static_cast<unsigned long long>(random()) << 32) ^ random();
  wchar_t text[64];
  swprintf(text, 64, L"dromika-%lu-%016llx", GetCurrentProcessId(), bits);
  return text;
}

// FILE_FLAG_FIRST_PIPE_INSTANCE: if someone already holds the name we fail
// rather than share a pipe with them; a fresh random name is then tried.
qtl::status CreatePipe(std::wstring& name, OwnedHandle& pipe) {
  CurrentUserOnly security;
  qtl::status status = security.Build();
  if (!status.ok()) return status;
  for (int attempt = 0; attempt < 8; ++attempt) {
    name = RandomPipeName();
    pipe.value = CreateNamedPipeW((L"\\\\.\\pipe\\" + name).c_str(),
                                  PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE | FILE_FLAG_OVERLAPPED,
                                  PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                  kPipeBufferBytes, kPipeBufferBytes, 0, security.attributes());
    if (pipe.value != INVALID_HANDLE_VALUE) return qtl::ok_status();
    pipe.value = nullptr;
    if (GetLastError() != ERROR_ACCESS_DENIED && GetLastError() != ERROR_PIPE_BUSY) break;
  }
  return SystemFailure(L"Unable to create the pipe", GetLastError());
}

// The quoting rules of CommandLineToArgvW, so every argument arrives whole.
std::wstring Quote(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

HANDLE Inheritable(HANDLE handle) {
  HANDLE copy = nullptr;
  if (!handle || handle == INVALID_HANDLE_VALUE) return nullptr;
  DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS);
  return copy;
}

// Exactly the handles in the list reach the child, however many inheritable
// handles the host application holds.
class InheritedHandles {
 public:
  explicit InheritedHandles(std::vector<HANDLE> handles) : handles_(std::move(handles)) {}
  ~InheritedHandles() {
    if (ready_) DeleteProcThreadAttributeList(list());
  }
  InheritedHandles(const InheritedHandles&) = delete;
  InheritedHandles& operator=(const InheritedHandles&) = delete;

  qtl::status Build() {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage_.resize(size);
    if (!InitializeProcThreadAttributeList(list(), 1, 0, &size)) {
      return SystemFailure(L"Unable to list the server's handles", GetLastError());
    }
    ready_ = true;
    if (!handles_.empty() && !UpdateProcThreadAttribute(list(), 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                   handles_.size() * sizeof(HANDLE), nullptr, nullptr)) {
      return SystemFailure(L"Unable to list the server's handles", GetLastError());
    }
    return qtl::ok_status();
  }
  LPPROC_THREAD_ATTRIBUTE_LIST list() { return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data()); }

 private:
  std::vector<HANDLE> handles_;
  std::vector<BYTE> storage_;
  bool ready_ = false;
};

// A job that ends the server when its last handle closes: ours, held for the
// server's life, and closed by the system if this process ends first.
HANDLE KillOnCloseJob() {
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (!job) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    CloseHandle(job);
    return nullptr;
  }
  return job;
}

// No console of its own (CREATE_NO_WINDOW), so a console client's Ctrl+C does
// not reach it and a GUI client shows no window; its output goes to the
// handles given here. It starts suspended so that it is in the job before it
// runs; when the job cannot be had it runs without one.
qtl::status Spawn(const LaunchOptions& options, const std::wstring& name, HANDLE job, PROCESS_INFORMATION& process) {
  std::wstring command = Quote(options.program) + L" RunServer " + Quote(L"/pipename:" + name);
  for (const auto& extra : options.extraArguments) command += L" " + Quote(extra);
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  OwnedHandle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr));
  OwnedHandle output(Inheritable(GetStdHandle(STD_ERROR_HANDLE)));
  std::vector<HANDLE> handles;
  for (HANDLE handle : {input.value, output.value}) {
    if (handle && handle != INVALID_HANDLE_VALUE) handles.push_back(handle);
  }
  InheritedHandles inherited(handles);
  qtl::status status = inherited.Build();
  if (!status.ok()) return status;
  STARTUPINFOEXW startup = {};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = input.value;
  startup.StartupInfo.hStdOutput = output.value;
  startup.StartupInfo.hStdError = output.value;
  startup.lpAttributeList = inherited.list();
  const DWORD flags = EXTENDED_STARTUPINFO_PRESENT | CREATE_NO_WINDOW | CREATE_SUSPENDED;
  if (!CreateProcessW(options.program.c_str(), &command[0], nullptr, nullptr, !handles.empty(), flags, nullptr, nullptr,
                      &startup.StartupInfo, &process)) {
    return SystemFailure(L"Unable to start the server " + options.program, GetLastError());
  }
  if (job) AssignProcessToJobObject(job, process.hProcess);
  ResumeThread(process.hThread);
  CloseHandle(process.hThread);
  return qtl::ok_status();
}

class WindowsServer : public ServerProcess {
 public:
  WindowsServer(HANDLE process, DWORD pid, HANDLE job) : process_(process), pid_(pid), job_(job) {}
  ~WindowsServer() override {
    int exitCode = 0;
    if (!Wait(0, exitCode).ok()) Kill();
  }

  void Accept(HANDLE pipe) { stream_ = sys::message::MakeHostStream(reinterpret_cast<intptr_t>(pipe), true); }
  std::unique_ptr<sys::message::IByteStream> TakeStream() override { return std::move(stream_); }
  HANDLE process() const { return process_.value; }
  DWORD pid() const { return pid_; }

  qtl::status Wait(uint32_t milliseconds, int& exitCode) override {
    if (WaitForSingleObject(process_.value, milliseconds) != WAIT_OBJECT_0) return qtl::status::error(L"The server did not end in time");
    DWORD code = 0;
    GetExitCodeProcess(process_.value, &code);
    exitCode = static_cast<int>(code);
    return qtl::ok_status();
  }

  void Kill() override {
    TerminateProcess(process_.value, 1);
    WaitForSingleObject(process_.value, INFINITE);
  }

 private:
  OwnedHandle process_;
  DWORD pid_;
  OwnedHandle job_;  // closed after the server has ended or been killed
  std::unique_ptr<sys::message::IByteStream> stream_;
};

// One overlapped ConnectNamedPipe, raced against the child's end. A client
// that came and went before the call leaves ERROR_NO_DATA: `again` is set,
// and the pipe must be disconnected and waited on once more.
qtl::status ConnectOnce(HANDLE pipe, HANDLE process, DWORD timeoutMs, bool& again) {
  again = false;
  OwnedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED overlapped = {};
  overlapped.hEvent = event.value;
  if (ConnectNamedPipe(pipe, &overlapped) || GetLastError() == ERROR_PIPE_CONNECTED) return qtl::ok_status();
  if (GetLastError() == ERROR_NO_DATA) {
    again = true;
    return qtl::ok_status();
  }
  if (GetLastError() != ERROR_IO_PENDING) return SystemFailure(L"Unable to wait for the server", GetLastError());
  HANDLE waits[2] = {event.value, process};
  const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, timeoutMs);
  DWORD ignored = 0;
  if (woke == WAIT_OBJECT_0) {
    if (GetOverlappedResult(pipe, &overlapped, &ignored, FALSE)) return qtl::ok_status();
    again = GetLastError() == ERROR_NO_DATA;
    if (again) return qtl::ok_status();
  }
  CancelIo(pipe);
  GetOverlappedResult(pipe, &overlapped, &ignored, TRUE);
  if (woke == WAIT_OBJECT_0 + 1) {
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return qtl::status::error(L"The server ended before connecting (exit code " + std::to_wstring(code) + L")");
  }
  return qtl::status::error(L"The server did not connect within " + std::to_wstring(timeoutMs) + L" ms");
}

// Connections from anyone but the child, and clients that left at once, are
// dropped and the wait goes on until the deadline.
qtl::status AcceptChild(HANDLE pipe, WindowsServer& server, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    bool again = false;
    qtl::status status =
        ConnectOnce(pipe, server.process(), now < deadline ? static_cast<DWORD>(deadline - now) : 0, again);
    if (!status.ok()) return status;
    ULONG client = 0;
    if (!again && GetNamedPipeClientProcessId(pipe, &client) && client == server.pid()) return qtl::ok_status();
    DisconnectNamedPipe(pipe);
    if (again && GetTickCount64() >= deadline) {
      return qtl::status::error(L"The server did not connect within " + std::to_wstring(timeoutMs) + L" ms");
    }
  }
}

}  // namespace

qtl::status LaunchServer(const LaunchOptions& options, std::unique_ptr<ServerProcess>& out) {
  std::wstring name;
  OwnedHandle pipe;
  qtl::status status = CreatePipe(name, pipe);
  if (!status.ok()) return status;
  OwnedHandle job(KillOnCloseJob());
  PROCESS_INFORMATION process = {};
  status = Spawn(options, name, job.value, process);
  if (!status.ok()) return status;
  auto server = std::make_unique<WindowsServer>(process.hProcess, process.dwProcessId, job.Release());
  status = AcceptChild(pipe.value, *server, options.connectTimeoutMs);
  if (!status.ok()) {
    server->Kill();
    return status;
  }
  server->Accept(pipe.Release());
  out = std::move(server);
  return qtl::ok_status();
}

}  // namespace tally::client
