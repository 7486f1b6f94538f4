// NetworkAddress: parsing of tcp:// and rfc2217:// values.
#include "platform/networkaddress.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

namespace talyx::platform {

namespace {

constexpr std::string_view RawScheme = "tcp://";
constexpr std::string_view Rfc2217Scheme = "rfc2217://";

bool StartsWithNoCase(const std::string& value, std::string_view prefix) {
  if (value.size() < prefix.size()) return false;
  return std::equal(prefix.begin(), prefix.end(), value.begin(), [](char a, char b) {
    return a == std::tolower(static_cast<unsigned char>(b));
  });
}

// A host name: labels of letters, digits and hyphens joined by dots (which also covers IPv4).
bool IsHostName(const std::string& host) {
  if (host.empty() || host.size() > 253) return false;
  size_t label = 0;
  for (size_t i = 0; i <= host.size(); ++i) {
    if (i == host.size() || host[i] == '.') {
      if (label == 0 || label > 63 || host[i - 1] == '-' || host[i - label] == '-') return false;
      label = 0;
      continue;
    }
    const auto c = static_cast<unsigned char>(host[i]);
    if (!std::isalnum(c) && c != '-') return false;
    ++label;
  }
  return true;
}

bool IsIpv6(const std::string& host) {
  in6_addr address{};
  return inet_pton(AF_INET6, host.c_str(), &address) == 1;
}

}  // namespace

std::string NetworkAddress::HostPort() const {
  const bool ipv6 = Host.find(':') != std::string::npos;
  return (ipv6 ? "[" + Host + "]" : Host) + ":" + std::to_string(Port);
}

bool HasNetworkScheme(const std::string& value) {
  return StartsWithNoCase(value, RawScheme) || StartsWithNoCase(value, Rfc2217Scheme);
}

std::optional<NetworkAddress> ParseNetworkAddress(const std::string& value) {
  NetworkAddress address;
  std::string rest;
  if (StartsWithNoCase(value, RawScheme)) {
    rest = value.substr(RawScheme.size());
  } else if (StartsWithNoCase(value, Rfc2217Scheme)) {
    address.Scheme = NetworkScheme::Rfc2217;
    rest = value.substr(Rfc2217Scheme.size());
  } else {
    return std::nullopt;
  }
  const size_t colon = rest.rfind(':');
  if (colon == std::string::npos) return std::nullopt;
  const std::string port = rest.substr(colon + 1);
  std::string host = rest.substr(0, colon);
  if (port.empty() || port.size() > 5 ||
      !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  const int number = std::stoi(port);
  if (number < 1 || number > 65535) return std::nullopt;
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
    if (!IsIpv6(host)) return std::nullopt;
  } else if (!IsHostName(host)) {
    return std::nullopt;
  }
  address.Host = host;
  address.Port = static_cast<uint16_t>(number);
  return address;
}

}  // namespace talyx::platform
