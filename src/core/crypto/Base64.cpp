#include "core/crypto/Base64.h"

#include <sodium.h>

namespace meterwright::Base64 {

namespace {
constexpr auto variant = sodium_base64_VARIANT_ORIGINAL;
}

std::string encode(std::string_view bytes) {
  std::size_t size = sodium_base64_ENCODED_LEN(bytes.size(), variant);
  std::string text(size, '\0');
  sodium_bin2base64(text.data(), size, reinterpret_cast<const unsigned char*>(bytes.data()),
                    bytes.size(), variant);
  text.resize(size - 1);  // the terminating NUL
  return text;
}

std::optional<std::string> decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::size_t capacity = text.size() / 4 * 3;
  std::string bytes(capacity, '\0');
  std::size_t length = 0;
  const char* end = nullptr;
  // With `end` given, libsodium stops quietly at the first foreign character; insisting that it
  // reached the end rejects trailing junk.
  if (sodium_base642bin(reinterpret_cast<unsigned char*>(bytes.data()), capacity, text.data(),
                        text.size(), nullptr, &length, &end, variant) != 0 ||
      end != text.data() + text.size()) {
    return std::nullopt;
  }
  bytes.resize(length);
  return bytes;
}

}  // namespace meterwright::Base64
