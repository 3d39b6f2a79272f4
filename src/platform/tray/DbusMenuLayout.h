#pragma once

#include <gio/gio.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/tray/TrayMenu.h"

// How a TrayMenu reads in com.canonical.dbusmenu terms: the properties of each item, as hosts
// draw them. Hosts show text, separators, check marks and shortcuts; everything else a line of
// ours means is folded into those.
namespace meterwright::DbusMenuLayout {

// `label` with each '_' doubled (dbusmenu hosts take a single underscore as the mnemonic marker
// and would hide it), and made valid UTF-8.
std::string escapeLabel(std::string_view label);

// The a{sv} of `item`, limited to `wanted` unless that is empty. Floating.
GVariant* itemProperties(const TrayMenuItem& item, const std::vector<std::string>& wanted);

// The a{sv} of the menu's root, which holds the items as its submenu. Floating.
GVariant* rootProperties(const std::vector<std::string>& wanted);

}  // namespace meterwright::DbusMenuLayout
