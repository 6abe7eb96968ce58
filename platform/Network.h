// The machine's network adapters as an adapter information call lists them.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct IpAddressEntry {
  std::string address;  // dotted decimal, as the system gives it ("0.0.0.0" when unset)
  std::string mask;
};

struct NetworkAdapter {
  std::string description;  // UTF-8 (Linux: the interface name, as bytes)
  std::array<uint8_t, 8> address{};  // hardware address, zero padded
  uint32_t addressLength = 0;        // how many bytes of address the system filled
  std::vector<IpAddressEntry> ipAddresses;
};

class Network {
 public:
  virtual ~Network() = default;
  // Adapters in the system's order; empty when none or when the list cannot be read.
  virtual std::vector<NetworkAdapter> Adapters() = 0;
};

Network& HostNetwork();

}  // namespace platform
