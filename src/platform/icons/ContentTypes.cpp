#include "platform/icons/ContentTypes.h"

#include <gio/gio.h>

namespace meterwright::ContentTypes {

Guess guess(const std::string& fileName, std::string_view head) {
  Guess result;
  gboolean uncertain = FALSE;
  gchar* type = g_content_type_guess(fileName.c_str(), reinterpret_cast<const guchar*>(head.data()),
                                     head.size(), &uncertain);
  if (!type) return result;
  gchar* mime = g_content_type_get_mime_type(type);
  result.type = mime ? mime : type;
  g_free(mime);
  GIcon* icon = g_content_type_get_icon(type);
  if (icon && G_IS_THEMED_ICON(icon)) {
    for (const gchar* const* name = g_themed_icon_get_names(G_THEMED_ICON(icon)); name && *name;
         ++name) {
      result.iconNames.emplace_back(*name);
    }
  }
  if (icon) g_object_unref(icon);
  g_free(type);
  return result;
}

}  // namespace meterwright::ContentTypes
