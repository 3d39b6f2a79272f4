#include "platform/qr/QrCode.h"

#include <qrencode.h>

#include <memory>

namespace meterwright {

std::optional<QrCode> QrCode::encode(std::string_view text) {
  // Eight-bit mode takes the bytes as they are; the link is ASCII, but nothing here relies on it.
  std::unique_ptr<QRcode, decltype(&QRcode_free)> encoded(
      QRcode_encodeData(static_cast<int>(text.size()),
                        reinterpret_cast<const unsigned char*>(text.data()), 0, QR_ECLEVEL_M),
      &QRcode_free);
  if (!encoded || encoded->width <= 0) return std::nullopt;
  QrCode code;
  code.size = encoded->width;
  code.dark.resize(static_cast<std::size_t>(code.size) * static_cast<std::size_t>(code.size));
  // Bit 0 of each byte is the module's colour; the other bits describe what the module is for.
  for (std::size_t i = 0; i < code.dark.size(); ++i) code.dark[i] = (encoded->data[i] & 1) != 0;
  return code;
}

}  // namespace meterwright
