#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/config/Config.h"
#include "core/usage/Snapshot.h"
#include "desktop/render/Image.h"
#include "desktop/render/RenderContext.h"

// Every surface drawn from one reading, for the settings window's live preview and for
// `--preview`, with the renderers the tray itself uses.
namespace meterwright::PreviewImages {

struct Named {
  std::string name;
  Image image;
};

// The settings window's preview list: the menu bar in the configured style ("menubar"; the text
// line drawn as the tray shows it for the text style), then, when a Touch Bar is supported and
// turned on, its strip ("touchbar-strip"). Nothing for the menu bar without providers to show.
std::vector<Named> previewImages(const Config& config, const std::optional<Snapshot>& snapshot,
                                 bool touchBarSupported, const RenderContext& context);

struct File {
  std::string name;
  Bitmap bitmap;
};

// What `--preview` saves: each surface in light and dark on a matching background. Menu bar in
// both styles and with tinted labels, one menu row per provider and the footer (3×); the Touch
// Bar strip and detail on black (3×); the settings preview list (2×).
std::vector<File> files(const Config& config, const std::optional<Snapshot>& snapshot,
                        const RenderContext& context);

}  // namespace meterwright::PreviewImages
