#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

typedef struct _GtkWidget GtkWidget;

namespace meterwright {

// One provider's block of the Providers tab.
struct ProviderBlockWidgets {
  GtkWidget* enabled = nullptr;
  GtkWidget* label = nullptr;
  GtkWidget* iconView = nullptr;
  GtkWidget* icon = nullptr;
  GtkWidget* chooseIcon = nullptr;
  GtkWidget* accent = nullptr;
  // One check box per window of the reading, with its length in minutes.
  std::vector<std::pair<int, GtkWidget*>> windows;
  GtkWidget* state = nullptr;
  GtkWidget* checkEvery = nullptr;
};

// What a block shows beyond its fixed texts.
struct ProviderBlockTexts {
  std::string label;
  // Length in minutes and label of each window of the reading; nothing when the provider is not
  // in it.
  std::optional<std::vector<std::pair<int, std::string>>> windows;
  std::string state;
  std::vector<std::string> checkEvery;
  std::string minimum;
  std::string floorReason;
  std::optional<std::string> clampNotice;
};

namespace ProvidersTabLayout {

// The hint and "Use real app icons" at the top of `page`; returns the button.
GtkWidget* header(GtkWidget* page);
// One provider's block, appended to `page`.
ProviderBlockWidgets block(GtkWidget* page, const ProviderBlockTexts& texts);
// The icon field's hint, after the last block.
void footer(GtkWidget* page);

}  // namespace ProvidersTabLayout
}  // namespace meterwright
