#include "platform/tray/DbusMenuExport.h"

#include <limits>

#include "dbusmenu-skeleton.h"
#include "platform/glib/GlibHandles.h"
#include "platform/tray/DbusMenuLayout.h"

namespace meterwright {

namespace {

std::vector<std::string> namesOf(const gchar* const* names) {
  std::vector<std::string> list;
  for (auto each = names; each && *each; ++each) list.emplace_back(*each);
  return list;
}

void returnUnknownId(GDBusMethodInvocation* invocation, gint id) {
  g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS,
                                        "no menu item %d", id);
}

}  // namespace

DbusMenuExport::DbusMenuExport(GDBusConnection* connection, const char* path, Chosen chosen)
    : skeleton_(mw_menu_dbusmenu_skeleton_new()), chosen_(std::move(chosen)) {
  mw_menu_dbusmenu_set_version(skeleton_, 3);
  mw_menu_dbusmenu_set_text_direction(skeleton_, "ltr");
  mw_menu_dbusmenu_set_status(skeleton_, "normal");
  const gchar* noPaths[] = {nullptr};
  mw_menu_dbusmenu_set_icon_theme_path(skeleton_, noPaths);
  g_signal_connect(skeleton_, "handle-get-layout", G_CALLBACK(getLayout), this);
  g_signal_connect(skeleton_, "handle-get-group-properties", G_CALLBACK(getGroupProperties), this);
  g_signal_connect(skeleton_, "handle-get-property", G_CALLBACK(getProperty), this);
  g_signal_connect(skeleton_, "handle-event", G_CALLBACK(event), this);
  g_signal_connect(skeleton_, "handle-event-group", G_CALLBACK(eventGroup), this);
  g_signal_connect(skeleton_, "handle-about-to-show", G_CALLBACK(aboutToShow), this);
  g_signal_connect(skeleton_, "handle-about-to-show-group", G_CALLBACK(aboutToShowGroup), this);
  GError* error = nullptr;
  if (!g_dbus_interface_skeleton_export(G_DBUS_INTERFACE_SKELETON(skeleton_), connection, path,
                                        &error)) {
    glib::Error owned(error);
    problem_ = glib::message(error);
  }
}

DbusMenuExport::~DbusMenuExport() {
  g_signal_handlers_disconnect_by_data(skeleton_, this);
  g_dbus_interface_skeleton_unexport(G_DBUS_INTERFACE_SKELETON(skeleton_));
  g_object_unref(skeleton_);
}

void DbusMenuExport::setMenu(const TrayMenu& menu) {
  auto used = static_cast<long long>(firstId_) + static_cast<long long>(menu_.items.size());
  auto needed = used + static_cast<long long>(menu.items.size());
  firstId_ = needed < std::numeric_limits<int>::max() ? static_cast<int>(used) : 1;
  menu_ = menu;
  ++revision_;
  mw_menu_dbusmenu_emit_layout_updated(skeleton_, revision_, rootId);
}

const TrayMenuItem* DbusMenuExport::itemOf(int id) const {
  if (id < firstId_) return nullptr;
  auto index = static_cast<std::size_t>(id - firstId_);
  return index < menu_.items.size() ? &menu_.items[index] : nullptr;
}

GVariant* DbusMenuExport::layoutOf(int id, int depth,
                                   const std::vector<std::string>& wanted) const {
  GVariantBuilder children;
  g_variant_builder_init(&children, G_VARIANT_TYPE("av"));
  if (id != rootId) {
    return g_variant_new("(i@a{sv}@av)", id, DbusMenuLayout::itemProperties(*itemOf(id), wanted),
                         g_variant_builder_end(&children));
  }
  // Depth 0 asks for the root alone; any other depth reaches every item of this flat menu.
  if (depth != 0) {
    for (std::size_t i = 0; i < menu_.items.size(); ++i) {
      int child = firstId_ + static_cast<int>(i);
      g_variant_builder_add(&children, "v", layoutOf(child, 0, wanted));
    }
  }
  return g_variant_new("(i@a{sv}@av)", id, DbusMenuLayout::rootProperties(wanted),
                       g_variant_builder_end(&children));
}

void DbusMenuExport::clicked(int id) {
  const TrayMenuItem* item = itemOf(id);
  if (!item || item->kind != TrayMenuItem::Kind::action || !item->enabled) return;
  if (item->action == TrayAction::none || !chosen_) return;
  // The handler may replace the menu, and with it `item`.
  TrayAction action = item->action;
  chosen_(action);
}

gboolean DbusMenuExport::getLayout(_MwMenuDbusmenu* skeleton, GDBusMethodInvocation* invocation,
                                   gint parent, gint depth, const gchar* const* names,
                                   DbusMenuExport* self) {
  if (parent != rootId && !self->itemOf(parent)) {
    returnUnknownId(invocation, parent);
    return TRUE;
  }
  mw_menu_dbusmenu_complete_get_layout(skeleton, invocation, self->revision_,
                                       self->layoutOf(parent, depth, namesOf(names)));
  return TRUE;
}

gboolean DbusMenuExport::getGroupProperties(_MwMenuDbusmenu* skeleton,
                                            GDBusMethodInvocation* invocation, GVariant* ids,
                                            const gchar* const* names, DbusMenuExport* self) {
  auto wanted = namesOf(names);
  GVariantBuilder found;
  g_variant_builder_init(&found, G_VARIANT_TYPE("a(ia{sv})"));
  GVariantIter iter;
  g_variant_iter_init(&iter, ids);
  gint32 id = 0;
  while (g_variant_iter_next(&iter, "i", &id)) {
    if (id == rootId) {
      g_variant_builder_add(&found, "(i@a{sv})", id, DbusMenuLayout::rootProperties(wanted));
    } else if (const TrayMenuItem* item = self->itemOf(id)) {
      g_variant_builder_add(&found, "(i@a{sv})", id, DbusMenuLayout::itemProperties(*item, wanted));
    }
  }
  mw_menu_dbusmenu_complete_get_group_properties(skeleton, invocation,
                                                 g_variant_builder_end(&found));
  return TRUE;
}

gboolean DbusMenuExport::getProperty(_MwMenuDbusmenu* skeleton, GDBusMethodInvocation* invocation,
                                     gint id, const gchar* name, DbusMenuExport* self) {
  const TrayMenuItem* item = self->itemOf(id);
  if (id != rootId && !item) {
    returnUnknownId(invocation, id);
    return TRUE;
  }
  std::vector<std::string> wanted{name};
  glib::Variant properties(g_variant_ref_sink(item ? DbusMenuLayout::itemProperties(*item, wanted)
                                                   : DbusMenuLayout::rootProperties(wanted)));
  GVariant* value = g_variant_lookup_value(properties.get(), name, nullptr);
  if (!value) {
    g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS,
                                          "menu item %d has no property %s", id, name);
    return TRUE;
  }
  mw_menu_dbusmenu_complete_get_property(skeleton, invocation, g_variant_new_variant(value));
  g_variant_unref(value);
  return TRUE;
}

gboolean DbusMenuExport::event(_MwMenuDbusmenu* skeleton, GDBusMethodInvocation* invocation,
                               gint id, const gchar* eventId, GVariant*, guint,
                               DbusMenuExport* self) {
  // Answer first: the action may take a while, and the host waits for the reply.
  mw_menu_dbusmenu_complete_event(skeleton, invocation);
  if (g_str_equal(eventId, "clicked")) self->clicked(id);
  return TRUE;
}

gboolean DbusMenuExport::eventGroup(_MwMenuDbusmenu* skeleton, GDBusMethodInvocation* invocation,
                                    GVariant* events, DbusMenuExport* self) {
  std::vector<int> clicks;
  GVariantBuilder unknown;
  g_variant_builder_init(&unknown, G_VARIANT_TYPE("ai"));
  GVariantIter iter;
  g_variant_iter_init(&iter, events);
  gint32 id = 0;
  const gchar* eventId = nullptr;
  while (g_variant_iter_next(&iter, "(i&svu)", &id, &eventId, nullptr, nullptr)) {
    if (!self->itemOf(id))
      g_variant_builder_add(&unknown, "i", id);
    else if (g_str_equal(eventId, "clicked"))
      clicks.push_back(id);
  }
  mw_menu_dbusmenu_complete_event_group(skeleton, invocation, g_variant_builder_end(&unknown));
  // Ids are looked up again for each click: an earlier one may have rebuilt the menu.
  for (int click : clicks) self->clicked(click);
  return TRUE;
}

gboolean DbusMenuExport::aboutToShow(_MwMenuDbusmenu* skeleton, GDBusMethodInvocation* invocation,
                                     gint, DbusMenuExport*) {
  // The menu is rebuilt whenever its content changes, never on demand.
  mw_menu_dbusmenu_complete_about_to_show(skeleton, invocation, FALSE);
  return TRUE;
}

gboolean DbusMenuExport::aboutToShowGroup(_MwMenuDbusmenu* skeleton,
                                          GDBusMethodInvocation* invocation, GVariant* ids,
                                          DbusMenuExport* self) {
  GVariantBuilder unknown;
  g_variant_builder_init(&unknown, G_VARIANT_TYPE("ai"));
  GVariantIter iter;
  g_variant_iter_init(&iter, ids);
  gint32 id = 0;
  while (g_variant_iter_next(&iter, "i", &id))
    if (id != rootId && !self->itemOf(id)) g_variant_builder_add(&unknown, "i", id);
  mw_menu_dbusmenu_complete_about_to_show_group(
      skeleton, invocation, g_variant_new_array(G_VARIANT_TYPE_INT32, nullptr, 0),
      g_variant_builder_end(&unknown));
  return TRUE;
}

}  // namespace meterwright
