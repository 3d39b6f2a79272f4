#include "desktop/windows/TrayPopup.h"

#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/x11/gdkx.h>
#endif

#include <cmath>

#include "core/display/Theme.h"
#include "desktop/render/FooterRow.h"
#include "desktop/render/ProviderRow.h"
#include "desktop/render/Shapes.h"
#include "desktop/render/SystemColours.h"
#include "desktop/render/TextLine.h"
#include "desktop/text/DesktopText.h"
#include "desktop/windows/GtkStart.h"
#include "desktop/windows/PopupPlacement.h"
#include "desktop/windows/WidgetPicture.h"

namespace meterwright {

namespace {

constexpr double inset = 21;

// One row's picture over the popup's background.
struct RowPicture {
  Image image;
  ColorToken background;
};

// A row as a widget of its own, so a screen reader reads each one as the menu's rows are read.
GtkWidget* rowWidget(Image image, bool dark, const std::string& label) {
  GtkWidget* area = gtk_drawing_area_new();
  gtk_drawing_area_set_content_width(GTK_DRAWING_AREA(area), int(std::ceil(image.width())));
  gtk_drawing_area_set_content_height(GTK_DRAWING_AREA(area), int(std::ceil(image.height())));
  gtk_drawing_area_set_draw_func(
      GTK_DRAWING_AREA(area),
      [](GtkDrawingArea*, cairo_t* cr, int, int, gpointer data) {
        const auto* row = static_cast<const RowPicture*>(data);
        setSource(cr, row->background);
        cairo_paint(cr);
        row->image.draw(cr, 0, 0);
      },
      new RowPicture{std::move(image), Theme::resolve(dark).background},
      [](gpointer data) { delete static_cast<RowPicture*>(data); });
  gtk_accessible_update_property(GTK_ACCESSIBLE(area), GTK_ACCESSIBLE_PROPERTY_LABEL, label.c_str(),
                                 -1);
  return area;
}

// As the menu's small items: 11 points in the secondary label colour.
Image noDataLine(const std::string& text, bool dark) {
  auto line = std::make_shared<TextLine>(text, Font{11});
  ColorToken colour = SystemColours::secondaryLabel(dark);
  return Image(TrayPopup::width, TrayPopup::noDataHeight, [line, colour](cairo_t* cr) {
    line->draw(cr, inset, (TrayPopup::noDataHeight - line->height()) / 2, colour);
  });
}

// The monitor showing `point`, in GDK's units; the first one when none does.
std::optional<Rect> monitorAt(GdkDisplay* display, PopupPlacement::Point point) {
  GListModel* monitors = gdk_display_get_monitors(display);
  std::optional<Rect> found;
  for (guint i = 0; i < g_list_model_get_n_items(monitors); ++i) {
    auto* monitor = static_cast<GdkMonitor*>(g_list_model_get_item(monitors, i));
    GdkRectangle area;
    gdk_monitor_get_geometry(monitor, &area);
    g_object_unref(monitor);
    Rect rect{double(area.x), double(area.y), double(area.width), double(area.height)};
    bool inside = point.x >= area.x && point.x < area.x + area.width && point.y >= area.y &&
                  point.y < area.y + area.height;
    if (inside || !found) found = rect;
    if (inside) break;
  }
  return found;
}

}  // namespace

TrayPopup::~TrayPopup() {
  if (!window_) return;
  // Destroying a shown window takes its focus away; that must not call back into this.
  g_signal_handlers_disconnect_by_data(window_, this);
  gtk_window_destroy(GTK_WINDOW(window_));
}

std::pair<int, int> TrayPopup::sizeFor(const Content& content) {
  double height = content.entries.empty() ? noDataHeight : 0;
  for (const DisplayEntry& entry : content.entries) height += std::ceil(ProviderRow::height(entry));
  if (content.footer) height += FooterRow::height;
  return {width, int(std::ceil(height))};
}

bool TrayPopup::show(Content content, int x, int y) {
  if (!GtkStart::ensure()) return false;
  content_ = std::move(content);
  if (!window_) build();
  if (!isShown()) wasActive_ = false;
  fill();
  gtk_window_present(GTK_WINDOW(window_));
  pointer_ = {x, y};
  place(x, y);
  return true;
}

void TrayPopup::update(Content content) {
  if (!isShown()) return;
  content_ = std::move(content);
  fill();
  // Placed again for its new height: one opened above a panel at the bottom must not grow over it.
  place(pointer_.x, pointer_.y);
}

bool TrayPopup::isShown() const {
  return window_ && gtk_widget_get_visible(window_);
}

void TrayPopup::close() {
  if (isShown()) gtk_window_close(GTK_WINDOW(window_));
}

void TrayPopup::build() {
  window_ = gtk_window_new();
  GtkWindow* window = GTK_WINDOW(window_);
  gtk_window_set_title(window, "Meterwright");
  gtk_window_set_decorated(window, FALSE);
  gtk_window_set_resizable(window, FALSE);
  gtk_window_set_hide_on_close(window, TRUE);

  rows_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_window_set_child(window, rows_);

  GtkEventController* keys = gtk_event_controller_key_new();
  g_signal_connect(keys, "key-pressed",
                   G_CALLBACK(+[](GtkEventControllerKey*, guint key, guint, GdkModifierType,
                                  gpointer data) -> gboolean {
                     if (key != GDK_KEY_Escape) return FALSE;
                     static_cast<TrayPopup*>(data)->close();
                     return TRUE;
                   }),
                   this);
  gtk_widget_add_controller(window_, keys);

  g_signal_connect(window_, "notify::is-active",
                   G_CALLBACK(+[](GtkWindow* window, GParamSpec*, gpointer data) {
                     auto* self = static_cast<TrayPopup*>(data);
                     if (gtk_window_is_active(window))
                       self->wasActive_ = true;
                     else if (self->wasActive_)
                       self->close();
                   }),
                   this);
  g_signal_connect(window_, "close-request", G_CALLBACK(+[](GtkWindow*, gpointer data) -> gboolean {
                     static_cast<TrayPopup*>(data)->closed();
                     return FALSE;  // hidden, not destroyed: hide-on-close
                   }),
                   this);
}

void TrayPopup::closed() {
  wasActive_ = false;
  if (onClosed) onClosed();
}

void TrayPopup::fill() {
  while (GtkWidget* row = gtk_widget_get_first_child(rows_)) gtk_box_remove(GTK_BOX(rows_), row);
  const RenderContext& context = content_.context;
  auto add = [&](Image image, const std::string& label) {
    gtk_box_append(GTK_BOX(rows_), rowWidget(std::move(image), context.dark, label));
  };
  for (const DisplayEntry& entry : content_.entries) {
    add(ProviderRow::image(entry, content_.config, width, context),
        ProviderRow::accessibilityLabel(entry, context.now));
  }
  if (content_.entries.empty()) {
    std::string text = desktop::L("menu.noUsageData", "No usage data");
    add(noDataLine(text, context.dark), text);
  }
  if (content_.footer) {
    add(FooterRow::image(*content_.footer, width, context.dark),
        FooterRow::accessibilityLabel(*content_.footer));
  }
}

// (0, 0) leaves the place to the window system. GTK 4 has no way to move a window. Under X11 the
// window is moved with Xlib, which window managers honour for a mapped window; under Wayland a
// client cannot choose where its window goes, and the compositor places it.
void TrayPopup::place([[maybe_unused]] int x, [[maybe_unused]] int y) {
#ifdef GDK_WINDOWING_X11
  GdkSurface* surface = gtk_native_get_surface(GTK_NATIVE(window_));
  if (!surface || !GDK_IS_X11_SURFACE(surface)) return;
  // A popup, not a window of its own to switch to.
  gdk_x11_surface_set_skip_taskbar_hint(surface, TRUE);
  gdk_x11_surface_set_skip_pager_hint(surface, TRUE);
  if (x == 0 && y == 0) return;
  // The pointer comes in screen pixels, GDK's monitors in its own (scaled) units.
  int scale = gdk_surface_get_scale_factor(surface);
  PopupPlacement::Point pointer{x / scale, y / scale};
  GdkDisplay* display = gdk_surface_get_display(surface);
  std::optional<Rect> monitor = monitorAt(display, pointer);
  if (!monitor) return;
  auto [w, h] = sizeFor(content_);
  PopupPlacement::Point corner = PopupPlacement::origin(pointer, w, h, *monitor);
  XMoveWindow(gdk_x11_display_get_xdisplay(display), gdk_x11_surface_get_xid(surface),
              corner.x * scale, corner.y * scale);
#endif
}

bool TrayPopup::isLaidOut() const {
  return isShown() && gtk_widget_get_mapped(window_) && gtk_widget_get_width(rows_) > 0;
}

std::optional<std::pair<int, int>> TrayPopup::size() const {
  if (!isLaidOut()) return std::nullopt;
  return std::pair{gtk_widget_get_width(window_), gtk_widget_get_height(window_)};
}

std::optional<std::string> TrayPopup::png() const {
  return isLaidOut() ? WidgetPicture::png(window_) : std::nullopt;
}

}  // namespace meterwright
