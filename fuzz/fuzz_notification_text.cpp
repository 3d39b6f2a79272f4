// Feeds arbitrary bytes to the cleaning of notification titles and bodies, which carry outside
// text to a D-Bus message and to notify-send's argument list. What comes out must be valid UTF-8
// without NULs or control characters (a body may keep line breaks), within the limit, and its
// markup-escaped form must hold no markup.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/notifications/NotificationText.h"

using namespace meterwright;

namespace {

// The number of code points when `text` is valid UTF-8 without controls (except line breaks
// where allowed); -1 otherwise.
long checkedLength(std::string_view text, bool lineBreaks) {
  long points = 0;
  for (std::size_t at = 0; at < text.size(); ++points) {
    auto lead = static_cast<std::uint8_t>(text[at]);
    std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (lead >= 0x80 && (lead < 0xC2 || lead > 0xF4)) return -1;
    if (at + length > text.size()) return -1;
    char32_t point = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
      auto next = static_cast<std::uint8_t>(text[at + i]);
      if ((next & 0xC0) != 0x80) return -1;
      point = (point << 6) | (next & 0x3F);
    }
    if ((length == 3 && point < 0x800) || (length == 4 && point < 0x10000) ||
        (point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF)
      return -1;
    bool control = point < 0x20 || point == 0x7F || (point >= 0x80 && point <= 0x9F);
    if (control && !(lineBreaks && point == '\n')) return -1;
    at += length;
  }
  return points;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (auto kind : {NotificationText::Kind::title, NotificationText::Kind::body}) {
    bool body = kind == NotificationText::Kind::body;
    std::string cleaned = NotificationText::clean(bytes, kind);
    long points = checkedLength(cleaned, body);
    long limit =
        static_cast<long>(body ? NotificationText::bodyLimit : NotificationText::titleLimit);
    if (points < 0 || points > limit) __builtin_trap();
    std::string escaped = NotificationText::escapeMarkup(cleaned);
    if (escaped.find_first_of("<>\"'") != std::string::npos) __builtin_trap();
  }
  return 0;
}
