#include "cli/Jobs.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <ostream>

#include "cli/CommandLine.h"
#include "cli/ReadOnce.h"
#include "cli/SecondInstance.h"
#include "core/encoding/Uuid.h"
#include "core/files/AtomicFile.h"
#include "desktop/CompositionRoot.h"
#include "desktop/app/Application.h"
#include "desktop/render/AppIconArt.h"
#include "desktop/render/PreviewImages.h"
#include "desktop/render/Render.h"
#include "desktop/text/DesktopText.h"
#include "desktop/touchbar/TouchBarPrivate.h"
#include "platform/glib/MainLoopWait.h"
#include "platform/notifications/Notifier.h"

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
// Renders every surface of one reading into <temporary>/meterwright-preview. Needs no display and
// no session bus: everything is drawn into memory and saved as PNG.
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
