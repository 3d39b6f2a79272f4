#pragma once

#include <optional>
#include <string_view>

#include "core/display/ColorToken.h"
#include "desktop/render/Image.h"
#include "desktop/render/TextLine.h"

// The built-in vector drawings that stand in for the platform's system symbols: one for every
// symbol name the program itself uses (the catalogue's fallback and generic symbols, the stale
// marker, the missing-icon placeholder, the Touch Bar buttons).
namespace meterwright::Symbols {

// The symbol `name` at `pointSize` in `weight`, tinted; nothing for a name without a built-in
// drawing.
std::optional<Image> image(std::string_view name, double pointSize, FontWeight weight,
                           const ColorToken& tint);

bool has(std::string_view name);

// `shape` (any colour) in `tint`: its coverage kept, its colour replaced.
Image tinted(const Image& shape, const ColorToken& tint);

}  // namespace meterwright::Symbols
