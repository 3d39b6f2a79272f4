#include "platform/tray/StatusNotifierItemExport.h"

#include "platform/glib/GlibHandles.h"
#include "platform/tray/BusText.h"
#include "platform/tray/TrayPixmapBytes.h"
#include "status-notifier-item-skeleton.h"

namespace meterwright {

namespace {

GVariant* pixmapsOf(const std::vector<TrayPixmap>& pixmaps) {
  GVariantBuilder list;
  g_variant_builder_init(&list, G_VARIANT_TYPE("a(iiay)"));
  for (const TrayPixmap& pixmap : pixmaps) {
    auto bytes = TrayPixmapBytes::networkOrder(pixmap);
    if (bytes.empty()) continue;
    GVariant* data = g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, bytes.data(), bytes.size(), 1);
    g_variant_builder_add(&list, "(ii@ay)", pixmap.width, pixmap.height, data);
  }
  return g_variant_builder_end(&list);
}

GVariant* noPixmaps() {
  return g_variant_new_array(G_VARIANT_TYPE("(iiay)"), nullptr, 0);
}

GVariant* toolTipOf(const TrayPresentation& presentation) {
  return g_variant_new("(s@a(iiay)ss)", "", noPixmaps(),
                       BusText::valid(presentation.tooltipTitle).c_str(),
                       BusText::valid(presentation.tooltipText).c_str());
}

const char* statusOf(const TrayPresentation& presentation) {
  return presentation.needsAttention ? "NeedsAttention" : "Active";
}

}  // namespace

StatusNotifierItemExport::StatusNotifierItemExport(GDBusConnection* connection, const char* path,
                                                   const char* menuPath, Activated activated)
    : skeleton_(mw_sni_status_notifier_item_skeleton_new()), activated_(std::move(activated)) {
  auto* item = skeleton_;
  mw_sni_status_notifier_item_set_category(item, "ApplicationStatus");
  mw_sni_status_notifier_item_set_id(item, "meterwright");
  mw_sni_status_notifier_item_set_title(item, shown_.title.c_str());
  mw_sni_status_notifier_item_set_status(item, statusOf(shown_));
  mw_sni_status_notifier_item_set_window_id(item, 0);
  for (auto setter :
       {mw_sni_status_notifier_item_set_icon_theme_path, mw_sni_status_notifier_item_set_icon_name,
        mw_sni_status_notifier_item_set_overlay_icon_name,
        mw_sni_status_notifier_item_set_attention_icon_name,
        mw_sni_status_notifier_item_set_attention_movie_name,
        mw_sni_status_notifier_item_set_xayatana_label,
        mw_sni_status_notifier_item_set_xayatana_label_guide})
    setter(item, "");
  mw_sni_status_notifier_item_set_icon_pixmap(item, noPixmaps());
  mw_sni_status_notifier_item_set_overlay_icon_pixmap(item, noPixmaps());
  mw_sni_status_notifier_item_set_attention_icon_pixmap(item, noPixmaps());
  mw_sni_status_notifier_item_set_tool_tip(item, toolTipOf(shown_));
  // Left click opens the popup; the menu comes with the host's context menu.
  mw_sni_status_notifier_item_set_item_is_menu(item, FALSE);
  mw_sni_status_notifier_item_set_menu(item, menuPath);
  g_signal_connect(item, "handle-activate", G_CALLBACK(activate), this);
  g_signal_connect(item, "handle-secondary-activate", G_CALLBACK(ignorePosition), this);
  g_signal_connect(item, "handle-context-menu", G_CALLBACK(ignorePosition), this);
  g_signal_connect(item, "handle-scroll", G_CALLBACK(scroll), this);
  GError* error = nullptr;
  if (!g_dbus_interface_skeleton_export(G_DBUS_INTERFACE_SKELETON(item), connection, path,
                                        &error)) {
    glib::Error owned(error);
    problem_ = glib::message(error);
  }
}

StatusNotifierItemExport::~StatusNotifierItemExport() {
  g_signal_handlers_disconnect_by_data(skeleton_, this);
  g_dbus_interface_skeleton_unexport(G_DBUS_INTERFACE_SKELETON(skeleton_));
  g_object_unref(skeleton_);
}

void StatusNotifierItemExport::show(const TrayPresentation& next) {
  auto* item = skeleton_;
  if (next.title != shown_.title) {
    mw_sni_status_notifier_item_set_title(item, BusText::valid(next.title).c_str());
    mw_sni_status_notifier_item_emit_new_title(item);
  }
  if (next.pixmaps != shown_.pixmaps) {
    mw_sni_status_notifier_item_set_icon_pixmap(item, pixmapsOf(next.pixmaps));
    mw_sni_status_notifier_item_emit_new_icon(item);
  }
  if (next.tooltipTitle != shown_.tooltipTitle || next.tooltipText != shown_.tooltipText) {
    mw_sni_status_notifier_item_set_tool_tip(item, toolTipOf(next));
    mw_sni_status_notifier_item_emit_new_tool_tip(item);
  }
  if (next.needsAttention != shown_.needsAttention) {
    mw_sni_status_notifier_item_set_status(item, statusOf(next));
    mw_sni_status_notifier_item_emit_new_status(item, statusOf(next));
  }
  if (next.label != shown_.label || next.labelGuide != shown_.labelGuide) {
    std::string label = BusText::valid(next.label), guide = BusText::valid(next.labelGuide);
    mw_sni_status_notifier_item_set_xayatana_label(item, label.c_str());
    mw_sni_status_notifier_item_set_xayatana_label_guide(item, guide.c_str());
    mw_sni_status_notifier_item_emit_xayatana_new_label(item, label.c_str(), guide.c_str());
  }
  shown_ = next;
}

gboolean StatusNotifierItemExport::activate(_MwSniStatusNotifierItem* item,
                                            GDBusMethodInvocation* invocation, gint x, gint y,
                                            StatusNotifierItemExport* self) {
  mw_sni_status_notifier_item_complete_activate(item, invocation);
  if (self->activated_) self->activated_(x, y);
  return TRUE;
}

gboolean StatusNotifierItemExport::ignorePosition(_MwSniStatusNotifierItem*,
                                                  GDBusMethodInvocation* invocation, gint, gint,
                                                  StatusNotifierItemExport*) {
  // Hosts show the exported menu themselves; nothing else is asked of the item.
  g_dbus_method_invocation_return_value(invocation, nullptr);
  return TRUE;
}

gboolean StatusNotifierItemExport::scroll(_MwSniStatusNotifierItem*,
                                          GDBusMethodInvocation* invocation, gint, const gchar*,
                                          StatusNotifierItemExport*) {
  g_dbus_method_invocation_return_value(invocation, nullptr);
  return TRUE;
}

}  // namespace meterwright
