// NetworkAddress: the port-map values that name a serial line across the network.
//
// A value "tcp://HOST:PORT" names a raw byte stream to a serial device server, and
// "rfc2217://HOST:PORT" a server that speaks telnet with COM-PORT-OPTION. HOST is a name, an
// IPv4 address or an IPv6 address in brackets; PORT is 1 to 65535. The scheme counts in any
// case. Pure functions; any thread; nothing is resolved or connected.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace talyx::platform {

enum class NetworkScheme : uint8_t { Raw, Rfc2217 };

struct NetworkAddress {
  NetworkScheme Scheme = NetworkScheme::Raw;
  std::string Host;  // without the brackets of an IPv6 address
  uint16_t Port = 0;

  // "HOST:PORT" as the user wrote it (an IPv6 host in brackets).
  std::string HostPort() const;
  bool operator==(const NetworkAddress&) const = default;
};

// Whether value starts with one of the two schemes (its form otherwise unchecked).
bool HasNetworkScheme(const std::string& value);
// The address value names; nothing when its form is not one of the two above.
std::optional<NetworkAddress> ParseNetworkAddress(const std::string& value);

}  // namespace talyx::platform
