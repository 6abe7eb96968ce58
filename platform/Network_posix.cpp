// Linux adapters from one getifaddrs call: the packet entry of an interface
// carries its hardware address, its inet entries its IPv4 addresses.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netpacket/packet.h>

#include <algorithm>
#include <cstring>

#include "platform/Network.h"

namespace platform {
namespace {

std::string DottedText(const sockaddr* address) {
  char text[INET_ADDRSTRLEN] = "0.0.0.0";
  if (address && address->sa_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
  }
  return text;
}

// Labelled aliases such as "eth0:1" are more addresses of eth0, as Windows
// lists them under one adapter.
std::string AdapterName(const char* name) {
  const std::string text = name ? name : "";
  return text.substr(0, text.find(':'));
}

NetworkAdapter& AdapterNamed(std::vector<NetworkAdapter>& adapters, const std::string& name) {
  auto found = std::find_if(adapters.begin(), adapters.end(),
                            [&](const NetworkAdapter& adapter) { return adapter.description == name; });
  if (found != adapters.end()) return *found;
  adapters.emplace_back();
  adapters.back().description = name;
  return adapters.back();
}

void Note(NetworkAdapter& adapter, const ifaddrs& entry) {
  if (entry.ifa_addr->sa_family == AF_PACKET) {
    const auto* link = reinterpret_cast<const sockaddr_ll*>(entry.ifa_addr);
    const size_t length = std::min<size_t>(link->sll_halen, adapter.address.size());
    std::memcpy(adapter.address.data(), link->sll_addr, length);
    adapter.addressLength = static_cast<uint32_t>(length);
  } else if (entry.ifa_addr->sa_family == AF_INET) {
    adapter.ipAddresses.push_back({DottedText(entry.ifa_addr), DottedText(entry.ifa_netmask)});
  }
}

class PosixNetwork : public Network {
 public:
  // The loopback interface is left out, as the Windows adapter list leaves it out.
  std::vector<NetworkAdapter> Adapters() override {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return {};
    std::vector<NetworkAdapter> adapters;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
      if ((entry->ifa_flags & IFF_LOOPBACK) || !entry->ifa_name) continue;
      NetworkAdapter& adapter = AdapterNamed(adapters, AdapterName(entry->ifa_name));
      if (entry->ifa_addr) Note(adapter, *entry);
    }
    freeifaddrs(list);
    return adapters;
  }
};

}  // namespace

Network& HostNetwork() {
  static PosixNetwork network;
  return network;
}

}  // namespace platform
