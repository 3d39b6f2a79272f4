#include "platform/tray/DbusMenuLayout.h"

#include <algorithm>

#include "platform/tray/BusText.h"

namespace meterwright::DbusMenuLayout {

namespace {

class Properties {
 public:
  explicit Properties(const std::vector<std::string>& wanted) : wanted_(wanted) {
    g_variant_builder_init(&builder_, G_VARIANT_TYPE("a{sv}"));
  }

  void add(const char* name, GVariant* value) {
    if (!wanted_.empty() && std::find(wanted_.begin(), wanted_.end(), name) == wanted_.end()) {
      g_variant_unref(g_variant_ref_sink(value));
      return;
    }
    g_variant_builder_add(&builder_, "{sv}", name, value);
  }

  GVariant* end() { return g_variant_builder_end(&builder_); }

 private:
  const std::vector<std::string>& wanted_;
  GVariantBuilder builder_;
};

// Shortcuts are shown with Control, the Linux counterpart of the Command key.
GVariant* shortcutOf(const std::string& key) {
  std::string valid = BusText::valid(key);
  const char* combination[] = {"Control", valid.c_str()};
  GVariant* keys = g_variant_new_strv(combination, 2);
  return g_variant_new_array(G_VARIANT_TYPE("as"), &keys, 1);
}

}  // namespace

std::string escapeLabel(std::string_view label) {
  std::string escaped;
  escaped.reserve(label.size());
  for (char c : BusText::valid(label)) {
    escaped += c;
    if (c == '_') escaped += '_';
  }
  return escaped;
}

GVariant* itemProperties(const TrayMenuItem& item, const std::vector<std::string>& wanted) {
  Properties properties(wanted);
  if (item.kind == TrayMenuItem::Kind::separator) {
    properties.add("type", g_variant_new_string("separator"));
    return properties.end();
  }
  properties.add("label", g_variant_new_string(escapeLabel(item.label).c_str()));
  bool enabled = item.kind == TrayMenuItem::Kind::action && item.enabled;
  properties.add("enabled", g_variant_new_boolean(enabled));
  if (item.checked) {
    properties.add("toggle-type", g_variant_new_string("checkmark"));
    properties.add("toggle-state", g_variant_new_int32(*item.checked ? 1 : 0));
  }
  if (!item.shortcut.empty()) properties.add("shortcut", shortcutOf(item.shortcut));
  return properties.end();
}

GVariant* rootProperties(const std::vector<std::string>& wanted) {
  Properties properties(wanted);
  properties.add("children-display", g_variant_new_string("submenu"));
  return properties.end();
}

}  // namespace meterwright::DbusMenuLayout
