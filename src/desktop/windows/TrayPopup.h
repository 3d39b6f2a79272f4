#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/config/Config.h"
#include "core/display/DisplayEntry.h"
#include "desktop/render/RenderContext.h"
#include "desktop/windows/PopupPlacement.h"

typedef struct _GtkWidget GtkWidget;

namespace meterwright {

// The small window that opens when the tray item is activated: the drop-down menu's provider
// rows and its footer line, drawn by the same code as the menu rows, at the desktop's colours. It
// closes when it loses the focus or on Escape, and is kept for the next show.
//
// Lives on the main thread, GTK's. GTK is started when the popup is first shown: a process that
// never shows it never opens a display.
class TrayPopup {
 public:
  // What it draws.
  struct Content {
    std::vector<DisplayEntry> entries;
    Config config;
    // The footer line; none without a reading.
    std::optional<std::string> footer;
    // `dark` from ColorScheme::prefersDark; `now` for the captions' countdowns.
    RenderContext context;
  };

  static constexpr int width = 360;
  // The line shown instead of rows when there are no entries.
  static constexpr int noDataHeight = 28;

  TrayPopup() = default;
  ~TrayPopup();
  TrayPopup(const TrayPopup&) = delete;
  TrayPopup& operator=(const TrayPopup&) = delete;

  // Opens the popup, or raises it, with `content`, near the screen point (x, y) where the tray
  // item was activated; (0, 0) is no point, and the window system places it. False when GTK could
  // not open a display.
  bool show(Content content, int x, int y);
  // Redraws an open popup with new content (a new reading), resized to it; nothing while it is
  // closed (the next show brings its own).
  void update(Content content);
  bool isShown() const;
  // As losing the focus does; onClosed runs.
  void close();

  // The popup was closed (Escape, focus loss or close()). It must not destroy the popup: GTK is
  // still closing the window.
  std::function<void()> onClosed;

  // The size the content asks for, in points.
  static std::pair<int, int> sizeFor(const Content& content);

  // What tests and screenshots read: the window's size once it is shown and laid out, and GTK's
  // own rendering of it as PNG bytes.
  bool isLaidOut() const;
  std::optional<std::pair<int, int>> size() const;
  std::optional<std::string> png() const;

 private:
  void build();
  void fill();
  void place(int x, int y);
  void closed();

  Content content_;
  GtkWidget* window_ = nullptr;
  // One drawing per row, then the footer.
  GtkWidget* rows_ = nullptr;
  // Focus loss closes it only once it has had the focus: a window manager may give the focus a
  // moment after the window is mapped.
  bool wasActive_ = false;
  // Where it was last opened, in screen pixels.
  PopupPlacement::Point pointer_;
};

}  // namespace meterwright
