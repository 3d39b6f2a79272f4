#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace meterwright {

// The 32-byte key one Mac and one paired device agree on; it seals and opens their envelopes.
// Equality is constant-time, and the type never prints its bytes (tests and logs see only the
// length), so key material cannot leak through a failure message.
class SymmetricKey {
 public:
  static constexpr std::size_t byteCount = 32;
  using Bytes = std::array<std::uint8_t, byteCount>;

  SymmetricKey() = default;  // all zero; only useful as a placeholder before assignment
  explicit SymmetricKey(const Bytes& bytes) : bytes_(bytes) {}

  // Exactly 32 bytes, or nothing.
  static std::optional<SymmetricKey> fromBytes(std::string_view bytes);

  // Fresh random key from the operating system's generator.
  static SymmetricKey random();

  const Bytes& bytes() const { return bytes_; }
  const std::uint8_t* data() const { return bytes_.data(); }
  static constexpr std::size_t size() { return byteCount; }
  std::string_view view() const {
    return std::string_view(reinterpret_cast<const char*>(bytes_.data()), bytes_.size());
  }
  std::string byteString() const { return std::string(view()); }

  friend bool operator==(const SymmetricKey& a, const SymmetricKey& b);

  // GoogleTest finds this through argument-dependent lookup and prints no key bytes.
  friend void PrintTo(const SymmetricKey&, std::ostream* out) { *out << "SymmetricKey(32 bytes)"; }

 private:
  Bytes bytes_{};
};

}  // namespace meterwright
