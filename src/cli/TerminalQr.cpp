#include "cli/TerminalQr.h"

namespace meterwright::TerminalQr {

namespace {

// Black foreground on bright white background; reset.
constexpr const char* paint = "\x1b[30;107m";
constexpr const char* reset = "\x1b[0m";

}  // namespace

std::vector<std::string> rows(const QrCode& code) {
  const int side = code.size + 2 * QrCode::quietZone;
  auto dark = [&](int x, int y) {
    x -= QrCode::quietZone;
    y -= QrCode::quietZone;
    return x >= 0 && y >= 0 && x < code.size && y < code.size && code.isDark(x, y);
  };
  std::vector<std::string> lines;
  // An odd last module row is paired with one more row of quiet zone.
  for (int y = 0; y < side; y += 2) {
    std::string line;
    for (int x = 0; x < side; ++x) {
      bool upper = dark(x, y);
      bool lower = dark(x, y + 1);
      line += upper && lower ? "\u2588" : upper ? "\u2580" : lower ? "\u2584" : " ";
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string text(const QrCode& code, bool colours) {
  std::string out;
  for (const std::string& row : rows(code)) {
    if (colours) out += paint;
    out += row;
    if (colours) out += reset;
    out += '\n';
  }
  return out;
}

}  // namespace meterwright::TerminalQr
