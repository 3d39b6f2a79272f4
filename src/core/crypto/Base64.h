#pragma once

#include <optional>
#include <string>
#include <string_view>

// Standard Base64 with padding (RFC 4648 section 4), the form every stored secret and every sync
// record carries bytes in. Bytes travel in std::string, which holds any byte.
namespace meterwright::Base64 {

std::string encode(std::string_view bytes);

// Nothing for text that is not canonical padded Base64: foreign characters, missing padding or
// trailing junk all refuse the whole text rather than decoding a prefix of it.
std::optional<std::string> decode(std::string_view text);

}  // namespace meterwright::Base64
