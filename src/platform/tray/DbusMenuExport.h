#pragma once

#include <gio/gio.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/tray/TrayMenu.h"

struct _MwMenuDbusmenu;

namespace meterwright {

// The tray item's menu as a com.canonical.dbusmenu object. Every setMenu is a new layout with a
// new revision and fresh item ids, so a host's event for an item of an older layout matches
// nothing and is dropped, as are events for ids that never were.
class DbusMenuExport {
 public:
  using Chosen = std::function<void(TrayAction)>;

  DbusMenuExport(GDBusConnection* connection, const char* path, Chosen chosen);
  ~DbusMenuExport();
  DbusMenuExport(const DbusMenuExport&) = delete;
  DbusMenuExport& operator=(const DbusMenuExport&) = delete;

  // Why the object could not be exported; empty when it is.
  const std::string& problem() const { return problem_; }
  void setMenu(const TrayMenu& menu);

 private:
  static constexpr int rootId = 0;

  const TrayMenuItem* itemOf(int id) const;
  GVariant* layoutOf(int id, int depth, const std::vector<std::string>& wanted) const;
  void clicked(int id);

  static gboolean getLayout(_MwMenuDbusmenu*, GDBusMethodInvocation*, gint, gint,
                            const gchar* const*, DbusMenuExport*);
  static gboolean getGroupProperties(_MwMenuDbusmenu*, GDBusMethodInvocation*, GVariant*,
                                     const gchar* const*, DbusMenuExport*);
  static gboolean getProperty(_MwMenuDbusmenu*, GDBusMethodInvocation*, gint, const gchar*,
                              DbusMenuExport*);
  static gboolean event(_MwMenuDbusmenu*, GDBusMethodInvocation*, gint, const gchar*, GVariant*,
                        guint, DbusMenuExport*);
  static gboolean eventGroup(_MwMenuDbusmenu*, GDBusMethodInvocation*, GVariant*, DbusMenuExport*);
  static gboolean aboutToShow(_MwMenuDbusmenu*, GDBusMethodInvocation*, gint, DbusMenuExport*);
  static gboolean aboutToShowGroup(_MwMenuDbusmenu*, GDBusMethodInvocation*, GVariant*,
                                   DbusMenuExport*);

  _MwMenuDbusmenu* skeleton_ = nullptr;
  Chosen chosen_;
  std::string problem_;
  TrayMenu menu_;
  // The id of the current layout's first item; the others follow.
  int firstId_ = 1;
  unsigned revision_ = 0;
};

}  // namespace meterwright
