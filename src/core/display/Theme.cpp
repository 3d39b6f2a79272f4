#include "core/display/Theme.h"

#include "core/display/Tokens.h"

namespace meterwright {

Theme Theme::resolve(bool dark) {
  const Tokens::Set& tokens = Tokens::set(dark);
  ColorToken track = dark ? ColorToken{1.0, 1.0, 1.0, 0.17} : ColorToken{0.0, 0.0, 0.0, 0.13};
  return {tokens.background, tokens.text, tokens.muted, track, dark};
}

namespace Palette {

ColorToken track(bool dark) {
  return dark ? ColorToken{1.0, 1.0, 1.0, 0.2} : ColorToken{0.0, 0.0, 0.0, 0.17};
}

ColorToken mutedText(bool dark) {
  return dark ? ColorToken{1.0, 1.0, 1.0, 0.88} : ColorToken{0.0, 0.0, 0.0, 0.7};
}

}  // namespace Palette

namespace Chip {

ColorToken contrastingText(const ColorToken& on) {
  return on.contrastingText();
}

}  // namespace Chip

}  // namespace meterwright
