#include "desktop/windows/WidgetPicture.h"

#include <gtk/gtk.h>

namespace meterwright::WidgetPicture {

std::optional<std::string> png(GtkWidget* widget, double scale) {
  int width = gtk_widget_get_width(widget);
  int height = gtk_widget_get_height(widget);
  if (!(scale > 0)) return std::nullopt;
  GtkNative* native = gtk_widget_get_native(widget);
  GskRenderer* renderer = native ? gtk_native_get_renderer(native) : nullptr;
  if (width <= 0 || height <= 0 || !renderer) return std::nullopt;

  GdkPaintable* paintable = gtk_widget_paintable_new(widget);
  GtkSnapshot* snapshot = gtk_snapshot_new();
  gtk_snapshot_scale(snapshot, float(scale), float(scale));
  gdk_paintable_snapshot(paintable, GDK_SNAPSHOT(snapshot), width, height);
  GskRenderNode* node = gtk_snapshot_free_to_node(snapshot);
  g_object_unref(paintable);
  if (!node) return std::nullopt;
  graphene_rect_t bounds = GRAPHENE_RECT_INIT(0, 0, float(width * scale), float(height * scale));
  GdkTexture* texture = gsk_renderer_render_texture(renderer, node, &bounds);
  gsk_render_node_unref(node);
  if (!texture) return std::nullopt;
  GBytes* bytes = gdk_texture_save_to_png_bytes(texture);
  g_object_unref(texture);
  gsize size = 0;
  const char* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
  std::string png(data, size);
  g_bytes_unref(bytes);
  return png;
}

}  // namespace meterwright::WidgetPicture
