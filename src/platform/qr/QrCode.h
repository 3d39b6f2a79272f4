#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace meterwright {

// A QR code as its square of modules, without the quiet zone: what the pairing window draws with
// cairo and the terminal draws with half blocks, from the same encoding.
struct QrCode {
  int size = 0;            // modules per side
  std::vector<bool> dark;  // row by row, size × size

  bool isDark(int x, int y) const { return dark[static_cast<std::size_t>(y * size + x)]; }

  bool operator==(const QrCode&) const = default;

  // The bytes of `text` at error-correction level M, the smallest version that holds them.
  // Nothing when they do not fit in any version (about 2.3 kB at level M) or the encoder fails.
  static std::optional<QrCode> encode(std::string_view text);

  // Modules of light border every reader expects around the code.
  static constexpr int quietZone = 4;
};

}  // namespace meterwright
