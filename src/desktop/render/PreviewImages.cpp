#include "desktop/render/PreviewImages.h"

#include <cairo.h>

#include <memory>

#include "core/display/DisplayEntry.h"
#include "core/display/Tokens.h"
#include "core/format/Format.h"
#include "desktop/render/FooterRow.h"
#include "desktop/render/MenuBarImage.h"
#include "desktop/render/ProviderRow.h"
#include "desktop/render/Render.h"
#include "desktop/render/SystemColours.h"
#include "desktop/render/TextLine.h"
#include "desktop/render/TouchBarImage.h"
#include "desktop/text/DesktopText.h"

namespace meterwright::PreviewImages {

namespace {

constexpr double surfaceScale = 3;
constexpr double settingsScale = 2;
constexpr ColorToken touchBarBackground{0, 0, 0, 1};

bool readingIsStale(const std::optional<Snapshot>& snapshot, const Config& config, Date now) {
  return snapshot && secondsBetween(snapshot->generatedAt, now) / 60 > config.staleAfterMinutes;
}

ColorToken titleColour(MenuBarTitle::Colour colour, bool dark) {
  switch (colour) {
    case MenuBarTitle::Colour::label:
      return SystemColours::label(dark);
    case MenuBarTitle::Colour::secondaryLabel:
      return SystemColours::secondaryLabel(dark);
    case MenuBarTitle::Colour::orange:
      return SystemColours::orange(dark);
    case MenuBarTitle::Colour::red:
      break;
  }
  return SystemColours::red(dark);
}

// The text style's line as the tray shows it: 12 points, monospaced digits, in its colour.
Image titleImage(const MenuBarTitle& title, bool dark) {
  auto line = std::make_shared<TextLine>(title.text, Font{12, FontWeight::regular, true});
  ColorToken colour = titleColour(title.colour, dark);
  return Image(line->width(), MenuBarImage::height, [line, colour](cairo_t* cr) {
    line->draw(cr, 0, (MenuBarImage::height - line->height()) / 2, colour);
  });
}

std::string footerText(const std::optional<Snapshot>& snapshot, Date now) {
  if (!snapshot) return desktop::L("menubar.noReading", "Meterwright \u2014");
  std::string text = desktop::L("menu.updatedAgo", "Updated %@ ago",
                                Format::relative(secondsBetween(snapshot->generatedAt, now)));
  if (snapshot->sourceName) text += " \u00B7 " + *snapshot->sourceName;
  return text;
}

}  // namespace

std::vector<Named> previewImages(const Config& config, const std::optional<Snapshot>& snapshot,
                                 bool touchBarSupported, const RenderContext& context) {
  std::vector<Named> images;
  std::vector<DisplayEntry> entries = DisplayEntry::build(snapshot, config, context.now);
  if (config.menuBarStyle == "text") {
    images.push_back(
        {"menubar", titleImage(Render::title(snapshot, config, context.now), context.dark)});
  } else if (auto image = MenuBarImage::make(
                 entries, config, readingIsStale(snapshot, config, context.now), context)) {
    images.push_back({"menubar", *image});
  }
  if (touchBarSupported && config.touchBar) {
    images.push_back({"touchbar-strip", TouchBarImage::strip(entries, config, context)});
  }
  return images;
}

std::vector<File> files(const Config& config, const std::optional<Snapshot>& snapshot,
                        const RenderContext& context) {
  std::vector<File> files;
  std::vector<DisplayEntry> entries = DisplayEntry::build(snapshot, config, context.now);
  bool stale = readingIsStale(snapshot, config, context.now);

  for (bool dark : {false, true}) {
    RenderContext appearance = context;
    appearance.dark = dark;
    std::string suffix = dark ? "dark" : "light";
    ColorToken background = Tokens::set(dark).background;
    auto save = [&](const std::string& name, const Image& image, double scale) {
      files.push_back({name, image.rasterise(scale, background)});
    };

    struct Variant {
      std::string name;
      std::string style;
      bool tinted;
    };
    for (const Variant& variant :
         {Variant{"menubar-bars-" + suffix, "bars", false},
          Variant{"menubar-detailed-" + suffix, "detailed", false},
          Variant{dark ? "menubar-tinted-dark" : "menubar-tinted", "bars", true},
          Variant{dark ? "menubar-tinted-detailed-dark" : "menubar-tinted-detailed", "detailed",
                  true}}) {
      Config styled = config;
      styled.menuBarStyle = variant.style;
      styled.tintWindowLabels = variant.tinted;
      if (auto image = MenuBarImage::make(entries, styled, stale, appearance)) {
        save(variant.name + ".png", *image, surfaceScale);
      }
    }
    for (const DisplayEntry& entry : entries) {
      save("menurow-" + entry.id + "-" + suffix + ".png",
           ProviderRow::image(entry, config, ProviderRow::defaultWidth, appearance), surfaceScale);
    }
    save("menurow-footer-" + suffix + ".png",
         FooterRow::image(footerText(snapshot, context.now), FooterRow::defaultWidth, dark),
         surfaceScale);
    for (const Named& image : previewImages(config, snapshot, true, appearance)) {
      save("settings-" + image.name + "-" + suffix + ".png", image.image, settingsScale);
    }
  }

  RenderContext touchBar = context;
  touchBar.dark = true;
  files.push_back({"touchbar-strip.png", TouchBarImage::strip(entries, config, touchBar)
                                             .rasterise(surfaceScale, touchBarBackground)});
  files.push_back({"touchbar-detail.png",
                   TouchBarImage::detail(entries, config, TouchBarImage::detailWidth, touchBar)
                       .rasterise(surfaceScale, touchBarBackground)});
  return files;
}

}  // namespace meterwright::PreviewImages
