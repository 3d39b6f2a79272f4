#include "cli/HelpText.h"

#include "desktop/text/DesktopText.h"

namespace meterwright::HelpText {

std::string text() {
  return desktop::L(
      "cli.help",
      "meterwright \u2014 tray usage display you actually control\n"
      "\n"
      "  meterwright              run in the tray\n"
      "  meterwright --print      print the same line to stdout (statuslines, scripts)\n"
      "  meterwright --waybar     print it as one JSON object for Waybar\n"
      "  meterwright --follow     keep running, printing it again whenever it changes\n"
      "  meterwright --json       print the filtered snapshot as JSON\n"
      "  meterwright --config     print the config file path\n"
      "  meterwright --renew-claude  ask Claude Code to renew its sign-in, and report whether it "
      "did\n"
      "  meterwright --diagnose   report on every part that can quietly stop working\n"
      "  meterwright --wake-selftest  run the publish a sleeping computer does, and time it\n"
      "  meterwright --pair       show a pairing code for a phone or watch, until it pairs\n"
      "  meterwright --devices    list the paired devices\n"
      "  meterwright --revoke <id or name>  forget one paired device\n"
      "\n"
      "Add --allow-keychain to let a command-line run raise the keyring prompt for\n"
      "Claude; without it Claude is skipped rather than blocking on a dialog.\n"
      "\n"
      "Config: ~/.config/meterwright/config.json\n"
      "Set \"enabled\": false on any provider to remove it from every display.");
}

}  // namespace meterwright::HelpText
