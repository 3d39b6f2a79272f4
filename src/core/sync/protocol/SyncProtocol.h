#pragma once

#include <string_view>

// The constants both ends of the sync protocol agree on.
namespace meterwright::SyncProtocol {

// Written into every message record, invitation and envelope, and mixed into the pairing key
// derivation and proof transcripts, so peers of different versions cannot complete a pairing.
inline constexpr int version = 2;
inline constexpr std::string_view bonjourServiceType = "_meterwright._tcp";
// Seconds a pairing code shown on the Mac stays valid.
inline constexpr double invitationLifetime = 60;
// Seconds an iCloud pairing request stays valid.
inline constexpr double requestLifetime = 900;
inline constexpr std::string_view appGroup = "group.dev.velmora.meterwright";

}  // namespace meterwright::SyncProtocol
