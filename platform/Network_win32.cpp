#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <cstring>

#include "platform/Network.h"
#include "runtime/Str.h"

namespace platform {
namespace {

// The texts of the adapter record are fixed arrays; never read past one.
template <size_t N>
std::string TextOf(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

// The description is in the ANSI code page; the service hands out UTF-8.
std::string Utf8OfAnsi(const std::string& ansi) {
  if (ansi.empty()) return ansi;
  const int length = static_cast<int>(ansi.size());
  std::wstring wide(MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, nullptr, 0), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, wide.data(), static_cast<int>(wide.size()));
  return str::as_u8string(wide);
}

NetworkAdapter Describe(const IP_ADAPTER_INFO& info) {
  NetworkAdapter adapter;
  adapter.description = Utf8OfAnsi(TextOf(info.Description));
  std::memcpy(adapter.address.data(), info.Address, adapter.address.size());
  adapter.addressLength = info.AddressLength;
  for (const IP_ADDR_STRING* entry = &info.IpAddressList; entry; entry = entry->Next) {
    adapter.ipAddresses.push_back({TextOf(entry->IpAddress.String), TextOf(entry->IpMask.String)});
  }
  return adapter;
}

class WindowsNetwork : public Network {
 public:
  // Asked for the size first; anything but ERROR_BUFFER_OVERFLOW there means
  // no adapter or no answer. The list may grow between the calls, so the
  // read is repeated with the newly reported size a few times.
  std::vector<NetworkAdapter> Adapters() override {
    ULONG size = 0;
    if (GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0) return {};
    std::vector<unsigned char> buffer;
    DWORD result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < kReadAttempts && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
      buffer.assign(size, 0);
      result = GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
    }
    if (result != ERROR_SUCCESS) return {};
    std::vector<NetworkAdapter> adapters;
    const auto* first = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data());
    for (const IP_ADAPTER_INFO* info = first; info; info = info->Next) adapters.push_back(Describe(*info));
    return adapters;
  }

 private:
  static constexpr int kReadAttempts = 4;
};

}  // namespace

Network& HostNetwork() {
  static WindowsNetwork network;
  return network;
}

}  // namespace platform
