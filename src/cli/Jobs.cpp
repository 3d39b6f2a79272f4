#include "cli/Jobs.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>
#include <ostream>

#include "cli/CommandLine.h"
#include "cli/ReadOnce.h"
#include "cli/SecondInstance.h"
#include "core/encoding/Uuid.h"
#include "core/files/AtomicFile.h"
#include "core/readers/CompositeSource.h"
#include "desktop/CompositionRoot.h"
#include "desktop/app/Application.h"
#include "desktop/render/AppIconArt.h"
#include "desktop/render/PreviewImages.h"
#include "desktop/render/Render.h"
#include "desktop/text/DesktopText.h"
#include "desktop/touchbar/TouchBarPrivate.h"
#include "desktop/windows/GtkStart.h"
#include "desktop/windows/SettingsWindowPictures.h"
#include "desktop/windows/SetupWindowPictures.h"
#include "platform/glib/MainLoopWait.h"
#include "platform/notifications/Notifier.h"
#include "platform/process/XvfbServer.h"

namespace meterwright::Jobs {

namespace {

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

}  // namespace

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
  Notifier::Options options;
  options.environment = root.readerContext().environment;
  auto notifier = std::make_unique<Notifier>(std::move(options));

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
// The clock of a preview: the moment its reading was taken.
class FixedClock final : public Clock {
 public:
  explicit FixedClock(Date now) : now_(now) {}
  Date now() const override { return now_; }

 private:
  Date now_;
};

// The settings window as GTK draws it, at 2×. Without a display of the user's, on a private Xvfb
// that is stopped and reaped before this returns; without one of those either, one line on
// stderr and no window images.
void saveWindowImages(Context& context, const ReadOnce& reading,
                      const std::filesystem::path& folder) {
  std::optional<XvfbServer> server;
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
    server.emplace();
    if (!server->problem().empty()) {
      context.err << desktop::L("cli.preview.noDisplay",
                                "meterwright: no display for the window images (%@); the other "
                                "images are written",
                                server->problem())
                  << "\n";
      return;
    }
    setenv("DISPLAY", server->name().c_str(), 1);
    setenv("GDK_BACKEND", "x11", 1);
    // Software drawing with no GL driver loaded, and no accessibility bus to look for on a display
    // nobody uses.
    setenv("GSK_RENDERER", "cairo", 1);
    setenv("GDK_DEBUG", "gl-disable", 1);
    setenv("GTK_A11Y", "none", 1);
  }
  std::vector<SourceState> sources;
  if (reading.source) {
    for (const auto& source : reading.source->nativeSources())
      sources.push_back(SourceState::of(*source));
  }
  auto pictures =
      SettingsWindowPictures::render(reading.config, reading.snapshot, sources, context.locations,
                                     std::make_shared<FixedClock>(reading.now), 2);
  if (pictures.empty()) {
    context.err << desktop::L("cli.preview.noWindow",
                              "meterwright: the settings window could not be drawn; the other "
                              "images are written")
                << "\n";
  }
  auto setup = SetupWindowPictures::render(reading.config, reading.source, context.locations,
                                           EnvironmentBlock::ofProcess(),
                                           std::make_shared<FixedClock>(reading.now), 2);
  if (setup.empty()) {
    context.err << desktop::L("cli.preview.noSetup",
                              "meterwright: the setup assistant could not be drawn; the other "
                              "images are written")
                << "\n";
  }
  pictures.insert(pictures.end(), setup.begin(), setup.end());
  for (const auto& picture : pictures) AtomicFile::write(folder / picture.name, picture.png);
  // GTK lets go of the private display before it stops.
  if (server) GtkStart::closeDisplay();
}

// Renders every surface of one reading into <temporary>/meterwright-preview, and the settings
// window and the setup assistant as GTK draws them. Needs no session bus; without a display the
// window is drawn on a private one.
int preview(Context& context) {
  ReadOnce reading = ReadOnce::take(context);
  std::filesystem::path folder = context.locations.temporary / "meterwright-preview";
  // A folder that cannot be made shows up as files that are not written; the job goes on.
  AtomicFile::createFolders(folder);
  RenderContext render{.dark = false, .now = reading.now, .icons = nullptr};
  for (const PreviewImages::File& file :
       PreviewImages::files(reading.config, reading.snapshot, render)) {
    if (auto bytes = file.bitmap.png()) AtomicFile::write(folder / file.name, *bytes);
  }
  saveWindowImages(context, reading, folder);
  context.out << "touch bar private API available: "
              << (TouchBarPrivate::available() ? "true" : "false") << "\n";
  return 0;
}

int application(Context& context) {
  // One instance per user: a second start shows the first one's popup and ends.
  if (std::optional<int> status = SecondInstance::tryHandOver(context)) return *status;
  return Application::run(context.locations, context.err);
}

}  // namespace meterwright::Jobs
