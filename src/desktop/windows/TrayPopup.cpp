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

void draw(cairo_t* cr, const TrayPopup::Content& content) {
  bool dark = content.context.dark;
  setSource(cr, Theme::resolve(dark).background);
  cairo_paint(cr);
  double y = 0;
  for (const DisplayEntry& entry : content.entries) {
    Image row = ProviderRow::image(entry, content.config, TrayPopup::width, content.context);
    row.draw(cr, 0, y);
    y += std::ceil(row.height());
  }
  if (content.entries.empty()) {
    // As the menu's small items: 11 points in the secondary label colour.
    TextLine line(desktop::L("menu.noUsageData", "No usage data"), Font{11});
    line.draw(cr, inset, y + (TrayPopup::noDataHeight - line.height()) / 2,
              SystemColours::secondaryLabel(dark));
    y += TrayPopup::noDataHeight;
  }
  if (content.footer) FooterRow::image(*content.footer, TrayPopup::width, dark).draw(cr, 0, y);
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
  resize();
  gtk_window_present(GTK_WINDOW(window_));
  place(x, y);
  return true;
}

void TrayPopup::update(Content content) {
  content_ = std::move(content);
  if (!isShown()) return;
  resize();
  gtk_widget_queue_draw(area_);
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

  area_ = gtk_drawing_area_new();
  gtk_drawing_area_set_draw_func(
      GTK_DRAWING_AREA(area_),
      [](GtkDrawingArea*, cairo_t* cr, int, int, gpointer data) {
        draw(cr, static_cast<TrayPopup*>(data)->content_);
      },
      this, nullptr);
  gtk_window_set_child(window, area_);

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

void TrayPopup::resize() {
  auto [w, h] = sizeFor(content_);
  gtk_drawing_area_set_content_width(GTK_DRAWING_AREA(area_), w);
  gtk_drawing_area_set_content_height(GTK_DRAWING_AREA(area_), h);
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
  return isShown() && gtk_widget_get_mapped(window_) && gtk_widget_get_width(area_) > 0;
}

std::optional<std::pair<int, int>> TrayPopup::size() const {
  if (!isLaidOut()) return std::nullopt;
  return std::pair{gtk_widget_get_width(window_), gtk_widget_get_height(window_)};
}

std::optional<std::string> TrayPopup::png() const {
  return isLaidOut() ? WidgetPicture::png(window_) : std::nullopt;
}

}  // namespace meterwright
