#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string_view>

#include "desktop/render/Image.h"

// Image files named by icon references and icon themes: PNG and what else gdk-pixbuf reads, and
// SVG through librsvg. Whatever the bytes, decoding is bounded: files over `largestFile` are not
// read, pictures over `largestSide` pixels a side are refused before their pixels are allocated,
// and only regular files are opened.
namespace meterwright::ImageFile {

inline constexpr std::size_t largestFile = 8 * 1024 * 1024;
inline constexpr int largestSide = 4096;
// Pixels kept per point: the largest scale a surface is drawn at.
inline constexpr double keptScale = 3;

// The picture in `bytes` stretched to `width` × `height` points, kept as pixels at keptScale;
// nothing when the bytes are no readable picture.
std::optional<Image> decode(std::string_view bytes, double width, double height);

// decode() of the file at `path`; nothing for anything but a readable regular file.
std::optional<Image> load(const std::filesystem::path& path, double width, double height);

// Whether the bytes look like SVG text (which gdk-pixbuf is never given).
bool looksLikeSvg(std::string_view bytes);

}  // namespace meterwright::ImageFile
