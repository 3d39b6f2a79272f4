#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "core/control/ControlMessage.h"
#include "core/sync/lan/LocalNetworkPublisher.h"
#include "core/time/Clock.h"
#include "core/time/Scheduler.h"

namespace meterwright {

// The running application's answer to `--pair` over the control socket: a code of its own
// publisher, then, for each waiting client, the name of the device that paired, or the code's
// expiry. Lives on the main loop with the control server.
class PairingRequests {
 public:
  using EventSender = std::function<void(const ControlEvent&)>;

  PairingRequests(std::shared_ptr<LocalNetworkPublisher> publisher,
                  std::shared_ptr<Scheduler> scheduler, std::shared_ptr<const Clock> clock,
                  std::string listenAddress);
  ~PairingRequests();
  PairingRequests(const PairingRequests&) = delete;
  PairingRequests& operator=(const PairingRequests&) = delete;

  // The control server's pair handler. Fails notListening while the publisher has no port.
  ControlAnswer request(EventSender later);

  // The coordinator stored a newly paired device (not a returning one): every waiting client is
  // told its name, and waits no more.
  void devicePaired(const std::string& name);

  std::size_t waiting() const { return waiting_.size(); }

 private:
  struct Waiting {
    EventSender later;
    Scheduler::Token expiry = 0;
  };

  std::shared_ptr<LocalNetworkPublisher> publisher_;
  std::shared_ptr<Scheduler> scheduler_;
  std::shared_ptr<const Clock> clock_;
  std::string listenAddress_;
  std::map<std::uint64_t, Waiting> waiting_;
  std::uint64_t lastId_ = 0;
  std::shared_ptr<PairingRequests*> alive_;
};

}  // namespace meterwright
