#include "core/encoding/Uuid.h"

#include <cstring>

#include "core/crypto/CryptoPrimitives.h"

namespace meterwright {

namespace {

constexpr std::size_t hyphenPositions[] = {8, 13, 18, 23};

bool isHyphenPosition(std::size_t index) {
  for (std::size_t position : hyphenPositions) {
    if (index == position) return true;
  }
  return false;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

Uuid Uuid::random() {
  Uuid uuid;
  std::string random = CryptoPrimitives::randomBytes(uuid.bytes.size());
  std::memcpy(uuid.bytes.data(), random.data(), uuid.bytes.size());
  uuid.bytes[6] = static_cast<std::uint8_t>((uuid.bytes[6] & 0x0F) | 0x40);  // version 4
  uuid.bytes[8] = static_cast<std::uint8_t>((uuid.bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return uuid;
}

std::optional<Uuid> Uuid::parse(std::string_view text) {
  if (text.size() != 36) return std::nullopt;
  Uuid uuid;
  std::size_t byte = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (isHyphenPosition(i)) {
      if (text[i] != '-') return std::nullopt;
      ++i;
      continue;
    }
    int high = hexValue(text[i]);
    int low = i + 1 < text.size() ? hexValue(text[i + 1]) : -1;
    if (high < 0 || low < 0 || isHyphenPosition(i + 1)) return std::nullopt;
    uuid.bytes[byte++] = static_cast<std::uint8_t>(high << 4 | low);
    i += 2;
  }
  return uuid;
}

std::string Uuid::text() const {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(36);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += hex[bytes[i] >> 4];
    text += hex[bytes[i] & 0x0F];
  }
  return text;
}

}  // namespace meterwright
