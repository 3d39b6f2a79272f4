#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace meterwright {

// Makes a listening service findable on the local network by DNS-SD (the publisher's
// "_meterwright._tcp" service). Implementations announce in the background and keep trying when
// the responder comes and goes; none of the calls waits on the network.
//
// The publisher calls these without holding its own lock, from its queue or the thread that stops
// it. An implementation never calls back into its caller.
class ServiceAdvertiser {
 public:
  virtual ~ServiceAdvertiser() = default;

  // Announces `name` of service type `type` on `port` in the default domain, without a TXT record,
  // replacing any earlier announcement of this advertiser.
  virtual void advertise(const std::string& type, const std::string& name, std::uint16_t port) = 0;

  // Takes the announcement back. Nothing happens when there is none.
  virtual void withdraw() = 0;

  // Why the service is not announced right now (for example "avahi-daemon is not running"), for
  // the diagnostics. Nothing while it is announced, and nothing before advertise() or after
  // withdraw().
  virtual std::optional<std::string> problem() const = 0;
};

}  // namespace meterwright
