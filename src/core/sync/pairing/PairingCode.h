#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "core/crypto/SymmetricKey.h"

namespace meterwright {

// The short secret a Mac shows (as text and as a QR code) and a device reads or has typed in. It
// proves both sides saw the same screen and salts the derived key, so it is as sensitive as a
// password while it is valid: nothing prints it except the screens that must show it.
struct PairingCode {
  // Ten characters of the alphabet, already normalised (no separator).
  std::string value;

  // The digits and the upper-case letters without I, L, O and U, which are read as 1, 1, 0 or
  // dropped when typed. 32 symbols, so each character carries five bits.
  static constexpr std::string_view alphabet = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";
  static constexpr std::size_t characterCount = 10;
  static constexpr std::string_view linkPrefix = "meterwright://pair/";

  // A new code from the system's secure generator.
  static PairingCode fresh();
  // The code the generator makes of ten random bytes: each byte's low five bits pick a symbol.
  static PairingCode fromRandomBytes(std::string_view tenBytes);

  // The normalised text when exactly ten characters remain.
  static std::optional<PairingCode> from(std::string_view text);
  // Typed text, a formatted code or a scanned link; surrounding white space and the link prefix
  // (in any letter case) are ignored.
  static std::optional<PairingCode> parse(std::string_view text);
  // Upper-cased, O read as 0, I and L as 1, everything outside the alphabet dropped; any length.
  static std::string normalised(std::string_view text);

  // "ABCDE-FGHJK".
  std::string formatted() const;
  // The link a QR code carries: the prefix, then `formatted()`.
  std::string qrPayload() const;
  // SHA-256 of `value`: the key both proofs are made with.
  SymmetricKey authenticationKey() const;

  bool operator==(const PairingCode&) const = default;

  friend void PrintTo(const PairingCode& code, std::ostream* out) {
    *out << "PairingCode(" << code.value.size() << " characters)";
  }
};

}  // namespace meterwright
