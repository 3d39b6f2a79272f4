#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Where paired devices can reach this computer's publisher, as "address:port" texts to show.
namespace meterwright::ReachableAddresses {

// The one address listened on when that was chosen; otherwise every address of an interface
// that is up, loopback left out. IPv6 addresses are bracketed; a link-local one names its
// interface, without which it means nothing.
std::vector<std::string> of(const std::string& listenAddress, std::uint16_t port);

}  // namespace meterwright::ReachableAddresses
