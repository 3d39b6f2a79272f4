#include "core/display/Tokens.h"

namespace meterwright::Tokens {

ColorToken meterFill(double remaining, const ColorToken& accent, double warnBelow) {
  if (warnBelow > 0 && remaining <= warnBelow * 0.5) return critical;
  if (warnBelow > 0 && remaining <= warnBelow) return warning;
  return accent;
}

}  // namespace meterwright::Tokens
