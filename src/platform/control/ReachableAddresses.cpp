#include "platform/control/ReachableAddresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace meterwright::ReachableAddresses {

std::vector<std::string> of(const std::string& listenAddress, std::uint16_t port) {
  auto withPort = [&](const std::string& address) {
    bool six = address.find(':') != std::string::npos;
    return (six ? "[" + address + "]" : address) + ":" + std::to_string(port);
  };
  if (!listenAddress.empty()) return {withPort(listenAddress)};
  std::vector<std::string> addresses;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return addresses;
  for (ifaddrs* entry = list; entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr || !(entry->ifa_flags & IFF_UP) || (entry->ifa_flags & IFF_LOOPBACK))
      continue;
    char text[INET6_ADDRSTRLEN] = {};
    if (entry->ifa_addr->sa_family == AF_INET) {
      ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(entry->ifa_addr)->sin_addr, text,
                  sizeof text);
      addresses.push_back(withPort(text));
    } else if (entry->ifa_addr->sa_family == AF_INET6) {
      auto* address = reinterpret_cast<sockaddr_in6*>(entry->ifa_addr);
      ::inet_ntop(AF_INET6, &address->sin6_addr, text, sizeof text);
      std::string shown = text;
      if (IN6_IS_ADDR_LINKLOCAL(&address->sin6_addr)) shown += std::string("%") + entry->ifa_name;
      addresses.push_back(withPort(shown));
    }
  }
  ::freeifaddrs(list);
  return addresses;
}

}  // namespace meterwright::ReachableAddresses
