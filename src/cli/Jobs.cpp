#include "cli/Jobs.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <ostream>

#include "cli/FilteredSnapshot.h"
#include "cli/FollowLoop.h"
#include "cli/HelpText.h"
#include "cli/WaybarOutput.h"
#include "core/config/ConfigStore.h"
#include "core/usage/SnapshotStore.h"
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

// The --print line, or with --waybar the JSON object for Waybar.
std::string statusLine(const Context& context, const std::optional<Snapshot>& snapshot,
                       const Config& config, Date now) {
  if (context.has("--waybar")) return WaybarOutput::line(snapshot, config, now);
  return Render::title(snapshot, config, now).text;
}

// --print --follow: one composite source for the life of the process, read whenever the loop
// wakes; the floors in the shared poll state decide whether a provider is really asked.
int follow(Context& context) {
  Config config = ConfigStore::load(context.locations).config;
  auto root = CompositionRoot::forProcess(context.locations, context.has("--allow-keychain"));
  std::shared_ptr<CompositeSource> source = root.compositeSource(/*claudeDirect=*/true, config);
  auto clock = root.readerContext().clock;
  FollowLoop::Callbacks callbacks;
  callbacks.read = [source] { return source->read(); };
  callbacks.render = [&](const std::optional<Snapshot>& snapshot) {
    return statusLine(context, snapshot, config, clock->now());
  };
  // Countdowns move at the redraw interval; a provider falling due earlier wakes the loop then.
  callbacks.secondsToNextReading = [source, clock, &config] {
    double wait = config.refreshSeconds;
    for (const auto& polled : source->nativeSources()) {
      wait = std::min(wait, secondsBetween(clock->now(), polled->nextAttempt()));
    }
    return wait;
  };
  context.out.flush();
  return FollowLoop(callbacks, SnapshotStore::url(context.locations), STDOUT_FILENO).run();
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
  if (context.has("--follow")) return follow(context);
  Reading reading = readOnce(context);
  context.out << statusLine(context, reading.snapshot, reading.config, reading.now) << "\n";
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
