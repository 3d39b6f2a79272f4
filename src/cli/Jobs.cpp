#include "cli/Jobs.h"

#include <filesystem>
#include <ostream>

#include "cli/FilteredSnapshot.h"
#include "cli/HelpText.h"
#include "core/config/ConfigStore.h"
#include "desktop/CompositionRoot.h"
#include "desktop/render/Render.h"
#include "desktop/text/DesktopText.h"

namespace meterwright::Jobs {

namespace {

int notBuiltYet(Context& context, const char* option) {
  context.err << desktop::L("cli.notBuilt", "meterwright: %@ is not built yet", option) << "\n";
  return notBuiltStatus;
}

// One reading as a command-line run takes it: the configuration loaded again, Claude always
// read directly, the secret store allowed to prompt only with --allow-keychain.
struct Reading {
  Config config;
  std::optional<Snapshot> snapshot;
  Date now;
};

Reading readOnce(Context& context) {
  Config config = ConfigStore::load(context.locations).config;
  auto root = CompositionRoot::forProcess(context.locations, context.has("--allow-keychain"));
  std::optional<Snapshot> snapshot = root.compositeSource(/*claudeDirect=*/true, config)->read();
  return {std::move(config), std::move(snapshot), root.readerContext().clock->now()};
}

}  // namespace

int help(Context& context) {
  context.out << HelpText::text() << "\n";
  return 0;
}

int config(Context& context) {
  std::error_code error;
  auto path = std::filesystem::absolute(ConfigStore::url(context.locations), error);
  context.out << (error ? ConfigStore::url(context.locations) : path).string() << "\n";
  return 0;
}

int print(Context& context) {
  Reading reading = readOnce(context);
  context.out << Render::title(reading.snapshot, reading.config, reading.now).text << "\n";
  return reading.snapshot ? 0 : 1;
}

int json(Context& context) {
  Reading reading = readOnce(context);
  std::optional<std::string> text;
  if (reading.snapshot)
    text = FilteredSnapshot::text(*reading.snapshot, reading.config, reading.now);
  if (!text) {
    context.err << desktop::L("cli.noSnapshot", "no snapshot source available") << "\n";
    return 1;
  }
  context.out << *text << "\n";
  return 0;
}
int makeIcon(Context& context) {
  return notBuiltYet(context, "--make-icon");
}
int makeAppIcon(Context& context) {
  return notBuiltYet(context, "--make-app-icon");
}
int testNotification(Context& context) {
  return notBuiltYet(context, "--test-notification");
}
int renewClaude(Context& context) {
  return notBuiltYet(context, "--renew-claude");
}
int diagnose(Context& context) {
  return notBuiltYet(context, "--diagnose");
}
int icloudSelftest(Context& context) {
  return notBuiltYet(context, "--icloud-selftest");
}
int wakeSelftest(Context& context) {
  return notBuiltYet(context, "--wake-selftest");
}
int preview(Context& context) {
  return notBuiltYet(context, "--preview");
}

int application(Context& context) {
  context.err << desktop::L("cli.applicationNotBuilt",
                            "meterwright: the tray application is not built yet")
              << "\n";
  return notBuiltStatus;
}

int unknownOption(Context& context, const std::string& argument) {
  context.err << desktop::L("cli.unknownOption", "meterwright: unknown option %@", argument) << "\n"
              << desktop::L("cli.seeHelp", "Try 'meterwright --help' for the list of options.")
              << "\n";
  return usageStatus;
}

}  // namespace meterwright::Jobs
