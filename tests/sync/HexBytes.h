#pragma once

#include <string>
#include <string_view>

namespace meterwright::testing {

// Bytes written as hex in a test, as the published vectors write them. Spaces are skipped.
inline std::string fromHex(std::string_view hex) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string bytes;
  int high = -1;
  for (char c : hex) {
    int value = digit(c);
    if (value < 0) continue;
    if (high < 0) {
      high = value;
    } else {
      bytes.push_back(static_cast<char>(high << 4 | value));
      high = -1;
    }
  }
  return bytes;
}

// Only for public values (vectors, public keys, proofs); keys are compared, never printed.
inline std::string toHex(std::string_view bytes) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char byte : bytes) {
    hex += digits[byte >> 4];
    hex += digits[byte & 0x0F];
  }
  return hex;
}

}  // namespace meterwright::testing
