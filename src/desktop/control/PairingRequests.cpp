#include "desktop/control/PairingRequests.h"

#include "core/sync/protocol/SyncProtocol.h"
#include "desktop/control/DeviceCommands.h"

namespace meterwright {

PairingRequests::PairingRequests(std::shared_ptr<LocalNetworkPublisher> publisher,
                                 std::shared_ptr<Scheduler> scheduler,
                                 std::shared_ptr<const Clock> clock, std::string listenAddress)
    : publisher_(std::move(publisher)),
      scheduler_(std::move(scheduler)),
      clock_(std::move(clock)),
      listenAddress_(std::move(listenAddress)),
      alive_(std::make_shared<PairingRequests*>(this)) {}

PairingRequests::~PairingRequests() {
  alive_.reset();
  for (auto& [id, waiting] : waiting_) scheduler_->cancel(waiting.expiry);
}

ControlAnswer PairingRequests::request(EventSender later) {
  if (!publisher_ || !publisher_->port())
    return ControlAnswer::failed(ControlFailureKind::notListening,
                                 "the publisher is not listening on the local network");
  ControlAnswer answer;
  answer.invitation = DeviceCommands::invitation(*publisher_, listenAddress_);
  const std::uint64_t id = ++lastId_;
  std::weak_ptr<PairingRequests*> alive = alive_;
  double left = secondsBetween(clock_->now(), dateFromUnixSeconds(answer.invitation->expiresAt));
  Scheduler::Token expiry = scheduler_->after(left, [alive, id] {
    std::shared_ptr<PairingRequests*> requests = alive.lock();
    if (!requests) return;
    auto found = (*requests)->waiting_.find(id);
    if (found == (*requests)->waiting_.end()) return;
    EventSender later = std::move(found->second.later);
    (*requests)->waiting_.erase(found);
    later(ControlEvent{ControlEventKind::expired, {}});
  });
  waiting_[id] = Waiting{std::move(later), expiry};
  return answer;
}

void PairingRequests::devicePaired(const std::string& name) {
  std::map<std::uint64_t, Waiting> told = std::move(waiting_);
  waiting_.clear();
  for (auto& [id, waiting] : told) {
    scheduler_->cancel(waiting.expiry);
    waiting.later(ControlEvent{ControlEventKind::paired, name});
  }
}

}  // namespace meterwright
