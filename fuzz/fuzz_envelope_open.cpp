// Opens untrusted envelopes with a fixed key. The first byte picks what the rest is: an envelope's
// JSON, the raw `sealed` bytes of a version-2 envelope, or a plaintext that is sealed first, so the
// payload decoder behind the authentication tag is reached too. Opening never crashes; a newer
// version always fails as unsupported before decryption; anything that opens re-seals and opens to
// the same payload.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/crypto/CryptoPrimitives.h"
#include "core/sync/pairing/EnvelopeSealing.h"
#include "core/sync/protocol/SyncCoding.h"
#include "core/sync/protocol/SyncProtocol.h"

using namespace meterwright;

namespace {

const SymmetricKey fixedKey = *SymmetricKey::fromBytes(std::string(32, '\x42'));
const Uuid sender = *Uuid::parse("6A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D");

void check(const SyncEnvelope& envelope) {
  auto opened = EnvelopeSealing::open(envelope, fixedKey);
  if (envelope.version > SyncProtocol::version) {
    if (opened.ok() || !(opened.error() == SyncError::unsupportedVersion(envelope.version))) {
      __builtin_trap();
    }
    return;
  }
  if (!opened.ok()) {
    if (!(opened.error() == SyncError::of(SyncError::Kind::decryptionFailed))) __builtin_trap();
    return;
  }
  auto resealed = EnvelopeSealing::seal(opened.value(), sender, fixedKey);
  if (!resealed.ok()) __builtin_trap();
  auto reopened = EnvelopeSealing::open(resealed.value(), fixedKey);
  if (!reopened.ok() || !(reopened.value() == opened.value())) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 3) {
    case 0:
      if (auto envelope = SyncCoding::decodeEnvelope(rest)) check(*envelope);
      break;
    case 1:
      check(SyncEnvelope{SyncProtocol::version, sender, std::string(rest)});
      break;
    default: {
      std::string nonce(EnvelopeSealing::nonceBytes, '\x01');
      auto box = CryptoPrimitives::chachaSeal(fixedKey.view(), nonce, rest);
      if (!box) __builtin_trap();
      check(SyncEnvelope{SyncProtocol::version, sender, nonce + *box});
      break;
    }
  }
  return 0;
}
