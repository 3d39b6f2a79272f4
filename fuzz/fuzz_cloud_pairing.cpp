// Reads pairing requests and grants as the cloud route does: the input is the `sealed` bytes of a
// "Pairing" record, which a device or a hostile writer of the synced folder chooses. A request
// shown to the user decoded completely, carries a 32-byte key, is fresh and of a known version; a
// grant accepted is of a known version; both re-encode to themselves. Nothing crashes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/sync/cloud/CloudRecords.h"
#include "core/sync/protocol/SyncCoding.h"
#include "core/sync/protocol/SyncProtocol.h"

using namespace meterwright;

namespace {

const Date now = dateFromUnixSeconds(1'740'821'400);

template <typename T, typename Decode>
void roundTrip(const T& value, Decode decode) {
  auto text = SyncCoding::encode(value);
  if (!text) __builtin_trap();
  auto again = decode(*text);
  if (!again || !(*again == value)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CloudRecord record;
  record.recordType = std::string(CloudRecords::pairingType);
  record.fields.emplace("sealed",
                        CloudRecord::Bytes{std::string(reinterpret_cast<const char*>(data), size)});
  record.fields.emplace("sentAt", now);

  if (auto request = CloudRecords::pendingRequestFrom(record, now)) {
    if (request->publicKey.size() != 32 || request->version > SyncProtocol::version ||
        request->isStale(SyncProtocol::requestLifetime, now)) {
      __builtin_trap();
    }
    roundTrip(*request, SyncCoding::decodeCloudPairingRequest);
  }
  if (auto grant = CloudRecords::acceptedGrantFrom(record)) {
    if (grant->publicKey.size() != 32 || grant->version > SyncProtocol::version) __builtin_trap();
    roundTrip(*grant, SyncCoding::decodeCloudPairingGrant);
  }
  // Neither is an envelope, whatever its bytes say.
  if (CloudRecords::envelopeFrom(record)) __builtin_trap();
  return 0;
}
