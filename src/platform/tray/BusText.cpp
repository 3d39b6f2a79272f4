#include "platform/tray/BusText.h"

#include <glib.h>

namespace meterwright::BusText {

std::string valid(std::string_view text) {
  if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
    // Also cuts at an embedded NUL, as the C string on the bus would.
    return std::string(text.substr(0, text.find('\0')));
  }
  gchar* mended = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
  std::string result = mended;
  g_free(mended);
  return result;
}

}  // namespace meterwright::BusText
