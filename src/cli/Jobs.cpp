#include "cli/Jobs.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <ostream>

#include "cli/CommandLine.h"
#include "cli/FilteredSnapshot.h"
#include "cli/FollowLoop.h"
#include "cli/HelpText.h"
#include "cli/WaybarOutput.h"
#include "core/config/ConfigStore.h"
#include "core/encoding/Uuid.h"
#include "core/files/AtomicFile.h"
#include "core/usage/SnapshotStore.h"
#include "desktop/CompositionRoot.h"
#include "desktop/render/AppIconArt.h"
#include "desktop/render/PreviewImages.h"
#include "desktop/render/Render.h"
#include "desktop/text/DesktopText.h"
#include "desktop/touchbar/TouchBarPrivate.h"
#include "platform/glib/MainLoopWait.h"
#include "platform/notifications/Notifier.h"

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

// The path an icon option writes to: the one given with it, else `fallback`; relative to the
// current folder.
std::filesystem::path iconPath(Context& context, std::string_view option, const char* fallback) {
  std::filesystem::path path =
      CommandLine::pathAfter(context.arguments, option).value_or(std::string(fallback));
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal();
}

int reportIcon(Context& context, const std::filesystem::path& path,
               const AppIconArt::Failure& failure) {
  if (failure) {
    context.err << desktop::L("cli.iconExportFailed", "icon export failed: %@", *failure) << "\n";
    return 1;
  }
  context.out << path.string() << "\n";
  return 0;
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
  std::filesystem::path path = iconPath(context, "--make-icon", "Meterwright.iconset");
  return reportIcon(context, path, AppIconArt::writeIconset(path));
}

int makeAppIcon(Context& context) {
  std::filesystem::path path = iconPath(context, "--make-app-icon",
                                        "Apps/Icon/Assets.xcassets/AppIcon.appiconset/"
                                        "AppIcon-1024.png");
  return reportIcon(context, path, AppIconArt::write(path, 1024));
}

int testNotification(Context& context) {
  // Opening the bus and one call each have the notifier's own deadline; these only stop a wait
  // that something unforeseen would leave open.
  constexpr double answerSeconds = 15;
  auto root = CompositionRoot::forProcess(context.locations, false);
  auto notifier = root.notifier();

  bool answered = false;
  notifier->refreshAuthorization([&] { answered = true; });
  MainLoopWait::until([&] { return answered; }, answerSeconds);
  auto authorization = notifier->authorization();
  bool server = authorization == Notifier::Authorization::allowed ||
                authorization == Notifier::Authorization::allowedSilently;
  context.out << desktop::L("cli.testNotification.identity", "bundle identifier: %@",
                            server ? notifier->identity().desktopEntry
                                   : desktop::L("cli.testNotification.noIdentity",
                                                "none \u2014 will fall back"))
              << "\n";

  bool posted = false;
  notifier->post("Meterwright",
                 desktop::L("cli.testNotification.body",
                            "If this says Meterwright and shows the app icon, it is posting as "
                            "itself."),
                 true, Uuid::random().text(), [&](Notifier::Delivery) { posted = true; });
  MainLoopWait::until([&] { return posted; }, answerSeconds);
  context.out << desktop::L("cli.testNotification.posted",
                            "posted \u2014 check the desktop's notifications")
              << "\n";
  return 0;
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
// Renders every surface of one reading into <temporary>/meterwright-preview. Needs no display and
// no session bus: everything is drawn into memory and saved as PNG.
int preview(Context& context) {
  Reading reading = readOnce(context);
  std::filesystem::path folder = context.locations.temporary / "meterwright-preview";
  // A folder that cannot be made shows up as files that are not written; the job goes on.
  AtomicFile::createFolders(folder);
  RenderContext render{.dark = false, .now = reading.now, .icons = nullptr};
  for (const PreviewImages::File& file :
       PreviewImages::files(reading.config, reading.snapshot, render)) {
    if (auto bytes = file.bitmap.png()) AtomicFile::write(folder / file.name, *bytes);
  }
  context.out << "touch bar private API available: "
              << (TouchBarPrivate::available() ? "true" : "false") << "\n";
  return 0;
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
