#include "platform/notifications/NotificationText.h"

#include <cstdint>

namespace meterwright::NotificationText {

namespace {

constexpr char32_t replacement = 0xFFFD;

void append(std::string& out, char32_t point) {
  if (point < 0x80) {
    out += static_cast<char>(point);
  } else if (point < 0x800) {
    out += static_cast<char>(0xC0 | (point >> 6));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else if (point < 0x10000) {
    out += static_cast<char>(0xE0 | (point >> 12));
    out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (point >> 18));
    out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  }
}

// The code point starting at `bytes[at]` and its length in bytes; a byte that starts no valid
// sequence (stray continuation, overlong form, surrogate, beyond U+10FFFF, cut short) is one
// replacement character.
std::pair<char32_t, std::size_t> decode(std::string_view bytes, std::size_t at) {
  auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
  std::uint8_t lead = byte(at);
  if (lead < 0x80) return {lead, 1};
  std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 0 || lead > 0xF4 || at + length > bytes.size()) return {replacement, 1};
  char32_t point = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return {replacement, 1};
    point = (point << 6) | (byte(at + i) & 0x3F);
  }
  constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (point < smallest[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
    return {replacement, 1};
  return {point, length};
}

bool isControl(char32_t point) {
  return point < 0x20 || point == 0x7F || (point >= 0x80 && point <= 0x9F);
}

}  // namespace

std::string clean(std::string_view bytes, Kind kind) {
  std::size_t limit = kind == Kind::title ? titleLimit : bodyLimit;
  std::string out;
  std::size_t points = 0;
  for (std::size_t at = 0; at < bytes.size();) {
    auto [point, length] = decode(bytes, at);
    at += length;
    if (point == '\t') point = ' ';
    if (point == '\n' && kind == Kind::title) point = ' ';
    if (isControl(point) && point != '\n') continue;
    if (points == limit) {
      // Room for the ellipsis: the last kept character makes way for it.
      std::size_t last = out.size();
      while (last > 0 && (static_cast<std::uint8_t>(out[last - 1]) & 0xC0) == 0x80) --last;
      out.erase(last > 0 ? last - 1 : 0);
      out += "\u2026";
      break;
    }
    append(out, point);
    ++points;
  }
  return out;
}

std::string escapeMarkup(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::vector<std::string> notifySendArguments(const Identity& identity, const std::string& title,
                                             const std::string& body, bool sound) {
  return {"--app-name=" + identity.appName,
          "--icon=" + identity.icon,
          "--hint=string:desktop-entry:" + identity.desktopEntry,
          sound ? std::string("--hint=string:sound-name:") + soundName
                : std::string("--hint=boolean:suppress-sound:true"),
          "--",
          title,
          body};
}

}  // namespace meterwright::NotificationText
