#pragma once

#include <string>
#include <string_view>
#include <vector>

typedef struct _GtkWidget GtkWidget;

namespace meterwright {

// The parts of the settings window around its tabs.
struct SettingsFrameWidgets {
  GtkWidget* content = nullptr;
  GtkWidget* tabs = nullptr;
  // The pages' boxes, each inside a vertically scrolling view; the tabs fill them.
  GtkWidget* display = nullptr;
  GtkWidget* providers = nullptr;
  GtkWidget* connections = nullptr;
  GtkWidget* previewBox = nullptr;
  GtkWidget* versionLabel = nullptr;
};

// The restart notice shown after a language is chosen.
struct RestartNoticeWidgets {
  GtkWidget* window = nullptr;
  GtkWidget* quitButton = nullptr;
  GtkWidget* laterButton = nullptr;
};

// The settings window's frame and the pieces its tabs are made of. Fixed texts are set here;
// values, states and what the controls do are the controller's.
namespace SettingsWindowLayout {

inline constexpr int width = 560;
inline constexpr int height = 620;

// Titled, closable, resizable; hidden rather than destroyed when closed.
GtkWidget* window();

// The three tabs, "Live preview" with its empty image row, and the version line.
SettingsFrameWidgets frame(std::string_view version);

// Modal over `parent`, shown at once.
RestartNoticeWidgets restartNotice(GtkWidget* parent);

// Pieces appended to a page: a section title, a wrapping hint in the secondary colour, a check
// box, a row of widgets, a caption that does not wrap.
GtkWidget* section(GtkWidget* page, std::string_view title);
GtkWidget* hint(GtkWidget* page, std::string_view text);
GtkWidget* check(GtkWidget* page, std::string_view text);
GtkWidget* row(GtkWidget* page);
GtkWidget* caption(std::string_view text);

// A segmented control: linked toggle buttons of which one is active. Appended to `row`.
std::vector<GtkWidget*> segmented(GtkWidget* row, const std::vector<std::string>& labels);
// A pop-up of the labels, nothing selected yet.
GtkWidget* popUp(const std::vector<std::string>& labels);

}  // namespace SettingsWindowLayout
}  // namespace meterwright
