#include "cli/Jobs.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <ostream>

#include "cli/FilteredSnapshot.h"
#include "cli/HelpText.h"
#include "core/config/ConfigStore.h"
#include "core/files/AtomicFile.h"
#include "desktop/CompositionRoot.h"
#include "desktop/render/AppIconArt.h"
#include "desktop/render/PreviewImages.h"
#include "desktop/render/Render.h"
#include "desktop/text/DesktopText.h"
#include "desktop/touchbar/TouchBarPrivate.h"

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

// The path an icon option writes to: the argument right after it (whatever it looks like), or
// `fallback` when the option is the last argument; relative to the current folder.
std::filesystem::path iconPath(Context& context, std::string_view option, const char* fallback) {
  auto found = std::find(context.arguments.begin(), context.arguments.end(), option);
  std::filesystem::path path = fallback;
  if (found != context.arguments.end() && std::next(found) != context.arguments.end()) {
    path = *std::next(found);
  }
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

}  // namespace meterwright::Jobs
