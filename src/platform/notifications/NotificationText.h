#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// What a notification's title and body become before they leave the program. Titles and bodies
// carry outside text (provider names, device names), so any bytes must come out as text that a
// D-Bus message and an argument list accept and that the user reads as it was typed.
namespace meterwright::NotificationText {

// Titles are one line; bodies may have several.
enum class Kind { title, body };

inline constexpr std::size_t titleLimit = 256;  // code points
inline constexpr std::size_t bodyLimit = 4096;

// Valid UTF-8 (each byte of a broken sequence becomes U+FFFD), without control characters (a
// body keeps its line breaks; tabs become spaces), at most the kind's limit of code points, a cut
// one ending in "…". Never contains a NUL, which neither D-Bus strings nor argv can carry.
std::string clean(std::string_view bytes, Kind kind);

// The body as a server that reads markup shows it literally: &, <, >, " and ' as entities.
std::string escapeMarkup(std::string_view text);

// What the notification carries besides its texts.
struct Identity {
  std::string appName;
  std::string icon;
  std::string desktopEntry;

  bool operator==(const Identity&) const = default;
};

// The hint that makes the server play the new-message sound, or keep quiet.
inline constexpr const char* soundName = "message-new-instant";

// notify-send's arguments after argv[0]. "--" comes before the texts, so a title that starts with
// a dash is shown rather than read as an option.
std::vector<std::string> notifySendArguments(const Identity& identity, const std::string& title,
                                             const std::string& body, bool sound);

}  // namespace meterwright::NotificationText
