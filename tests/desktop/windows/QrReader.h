#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace meterwright::testing {

// What zbarimg, a QR reader written apart from our encoder, reads from the PNG at `path`.
struct QrReading {
  // Why nothing could be read at all (zbarimg missing); empty when it ran.
  std::string problem;
  // The text of the one code found, without the line end; nothing when none was found.
  std::optional<std::string> text;
};

QrReading readQrCode(const std::filesystem::path& path);

}  // namespace meterwright::testing
