#include "core/sync/pairing/PairingInvitation.h"

namespace meterwright {

SyncResult<PairingCode> PairingInvitation::decode(std::string_view text) {
  auto code = PairingCode::parse(text);
  if (!code) return SyncError::of(SyncError::Kind::malformedInvitation);
  return *code;
}

}  // namespace meterwright
