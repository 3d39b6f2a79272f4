#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/sync/lan/ServiceAdvertiser.h"

namespace meterwright {

// Announces the publisher's service through avahi-daemon on the system bus. All Avahi work runs on
// one background thread of its own (an Avahi threaded poll): the calls below only record what is
// wanted and wake that thread, so none of them waits on D-Bus or the network. The thread follows
// the daemon as it comes and goes and registers the service again each time it is back.
class AvahiServiceAdvertiser final : public ServiceAdvertiser {
 public:
  // `retryDelay` is how long to wait before trying again after the system bus could not be
  // reached or avahi-daemon refused the service.
  explicit AvahiServiceAdvertiser(std::chrono::milliseconds retryDelay = std::chrono::seconds(5));
  ~AvahiServiceAdvertiser() override;
  AvahiServiceAdvertiser(const AvahiServiceAdvertiser&) = delete;
  AvahiServiceAdvertiser& operator=(const AvahiServiceAdvertiser&) = delete;

  void advertise(const std::string& type, const std::string& name, std::uint16_t port) override;
  void withdraw() override;
  std::optional<std::string> problem() const override;

 private:
  struct Loop;
  std::unique_ptr<Loop> loop_;
};

}  // namespace meterwright
