#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/sync/pairing/PairingRecord.h"

// The stored form of the paired-device list: a JSON array of records, each
// {"device": {"id", "name", "platform", "pairedAt", "lastSeenAt"?}, "key": Base64}. Dates count
// seconds since 2001-01-01 00:00:00 UTC with their fraction, the Mac's default date coding, so the
// same item reads the same on either platform. Named as the convention atop
// core/sync/protocol/SyncCoding.h says.
namespace meterwright::PairedDeviceCoding {

// 2001-01-01 00:00:00 UTC.
Date referenceDate();

// Nothing when a record cannot be written (a name that is not UTF-8).
std::optional<std::string> encode(const std::vector<PairingRecord>& records);

// Nothing unless the text is a JSON array whose every element is a record: a required key
// missing, a wrong type, an id that is not a UUID or a key that is not 32 bytes of Base64 refuses
// the whole document. Unknown keys are ignored; a missing or null "lastSeenAt" is absent.
std::optional<std::vector<PairingRecord>> decodeRecords(std::string_view text);

}  // namespace meterwright::PairedDeviceCoding
