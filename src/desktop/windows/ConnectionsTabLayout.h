#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

typedef struct _GtkWidget GtkWidget;

namespace meterwright {

// The Connections tab's controls and the texts that change while it is shown.
struct ConnectionsTabWidgets {
  GtkWidget* claudeDirect = nullptr;
  // Each polled source's second line (what it read, when it is next asked).
  std::vector<GtkWidget*> sourceLines;
  GtkWidget* recheck = nullptr;
  GtkWidget* recheckStatus = nullptr;
  GtkWidget* token = nullptr;
  GtkWidget* reveal = nullptr;
};

struct ConnectionsTabTexts {
  // Name and line of each polled source.
  std::vector<std::pair<std::string, std::string>> sources;
  std::optional<std::string> token;
  bool touchBarSupported = false;
};

namespace ConnectionsTabLayout {

ConnectionsTabWidgets build(GtkWidget* page, const ConnectionsTabTexts& texts);

}  // namespace ConnectionsTabLayout
}  // namespace meterwright
