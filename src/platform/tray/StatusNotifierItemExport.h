#pragma once

#include <gio/gio.h>

#include <functional>
#include <string>

#include "platform/tray/TrayPresentation.h"

struct _MwSniStatusNotifierItem;

namespace meterwright {

// The org.kde.StatusNotifierItem object hosts read the icon, tooltip, status and label from. A
// New… signal goes out only for a value that changed, so hosts do not fetch and redraw the image
// on every reading.
class StatusNotifierItemExport {
 public:
  using Activated = std::function<void(int x, int y)>;

  StatusNotifierItemExport(GDBusConnection* connection, const char* path, const char* menuPath,
                           Activated activated);
  ~StatusNotifierItemExport();
  StatusNotifierItemExport(const StatusNotifierItemExport&) = delete;
  StatusNotifierItemExport& operator=(const StatusNotifierItemExport&) = delete;

  // Why the object could not be exported; empty when it is.
  const std::string& problem() const { return problem_; }
  void show(const TrayPresentation& presentation);

 private:
  static gboolean activate(_MwSniStatusNotifierItem*, GDBusMethodInvocation*, gint, gint,
                           StatusNotifierItemExport*);
  static gboolean ignorePosition(_MwSniStatusNotifierItem*, GDBusMethodInvocation*, gint, gint,
                                 StatusNotifierItemExport*);
  static gboolean scroll(_MwSniStatusNotifierItem*, GDBusMethodInvocation*, gint, const gchar*,
                         StatusNotifierItemExport*);

  _MwSniStatusNotifierItem* skeleton_ = nullptr;
  Activated activated_;
  std::string problem_;
  TrayPresentation shown_;
};

}  // namespace meterwright
