#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/secrets/SecretStore.h"

// The secret-store item that holds this computer's pairing key: the raw 32-byte X25519 private
// key of its identity. Generated on this computer at the first start; no key material is part of
// the program.
namespace meterwright::IdentityKeyStore {

inline constexpr std::string_view service = "dev.velmora.meterwright.identity";
inline constexpr std::string_view account = "x25519";
inline constexpr std::string_view label = "Meterwright \u2014 this computer\u2019s pairing key";

// The key bytes, asked without any prompt; nothing when the item is missing or unreadable.
std::optional<std::string> read(SecretStore& secrets);

// Replaces the item (delete, then add). Failures are ignored: the identity still works for this
// run, and the next start makes a new one.
void save(SecretStore& secrets, std::string_view keyData);

}  // namespace meterwright::IdentityKeyStore
