// --diagnose: a report on every part that can stop working quietly, section by section. Every
// wait is bounded (Diagnostics::Bounds); one that runs out is said in words and the report goes
// on. Only the tray section decides the exit status.

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "cli/Diagnostics.h"
#include "cli/Jobs.h"
#include "core/config/ConfigStore.h"
#include "core/format/Format.h"
#include "core/readers/CompositeSource.h"
#include "core/readers/PolledSource.h"
#include "core/sync/cloud/CloudKitTransport.h"
#include "core/text/Localization.h"
#include "core/text/LocalizedModule.h"
#include "desktop/CompositionRoot.h"
#include "desktop/control/ControlHandlers.h"
#include "desktop/sync/IconCache.h"
#include "desktop/sync/SyncManager.h"
#include "desktop/text/DesktopText.h"
#include "platform/glib/MainLoopWait.h"
#include "platform/notifications/Notifier.h"
#include "platform/tray/TrayCheck.h"

namespace meterwright::Jobs {

namespace {

using desktop::L;
using namespace Diagnostics;

void header(std::ostream& out, std::string_view title, bool first = false) {
  if (!first) out << "\n";
  print(out, title);
}

// Why a question to the bus got no usable answer.
std::string reason(TrayCheck::Answer answer, const std::string& who) {
  switch (answer) {
    case TrayCheck::Answer::silent:
      return L("diagnose.tray.silent", "%1$@ did not answer within %2$@", who,
               seconds(Bounds::trayStep));
    case TrayCheck::Answer::garbled:
      return L("diagnose.tray.garbled", "%@ answered with something that is not a reply", who);
    case TrayCheck::Answer::refused:
      return L("diagnose.tray.refused", "%@ returned an error", who);
    default:
      return {};
  }
}

// True when every check passed.
bool traySection(Context& context, const EnvironmentBlock& environment, const Instance& instance) {
  std::ostream& out = context.out;
  header(out, L("diagnose.tray", "Tray"), true);
  TrayCheck::Facts facts = TrayCheck::gather(environment, Bounds::trayStep);
  bool ok = true;
  auto line = [&](bool passed, const std::string& text) {
    check(out, passed, text);
    ok = ok && passed;
  };
  using TrayCheck::Answer;
  if (!facts.busAddress) {
    line(false, L("diagnose.tray.noBus",
                  "no session bus \u2014 DBUS_SESSION_BUS_ADDRESS is not set and there is no "
                  "$XDG_RUNTIME_DIR/bus"));
  } else if (facts.bus != Answer::yes) {
    line(false, L("diagnose.tray.busFailed", "session bus \u2014 %@",
                  facts.bus == Answer::silent
                      ? reason(Answer::silent, L("diagnose.tray.theBus", "the bus"))
                      : L("diagnose.tray.busUnopened", "it could not be opened")));
  } else {
    line(true, L("diagnose.tray.bus", "session bus"));
    const std::string bus = L("diagnose.tray.theBus", "the bus");
    if (facts.watcher == Answer::yes) {
      line(true, L("diagnose.tray.watcher", "StatusNotifierWatcher on the session bus"));
    } else if (facts.watcher == Answer::no) {
      line(false, L("diagnose.tray.noWatcher",
                    "no StatusNotifierWatcher on the session bus \u2014 the desktop shows no "
                    "tray items (on GNOME, the AppIndicator extension adds one)"));
    } else {
      line(false, L("diagnose.tray.watcherFailed", "StatusNotifierWatcher \u2014 %@",
                    reason(facts.watcher, bus)));
    }
    const std::string watcher = L("diagnose.tray.theWatcher", "the watcher");
    if (facts.host == Answer::yes) {
      line(true, L("diagnose.tray.host", "a tray host is registered with the watcher"));
    } else if (facts.host == Answer::no) {
      line(false, L("diagnose.tray.noHost",
                    "no tray host is registered with the watcher \u2014 no panel shows items"));
    } else if (facts.host != Answer::notAsked) {
      line(false,
           L("diagnose.tray.hostFailed", "tray host \u2014 %@", reason(facts.host, watcher)));
    }
  }
  if (!instance.running) {
    note(out, L("diagnose.tray.noInstance",
                "Meterwright is not running, so there is no item to look for"));
  } else if (!instance.diagnosis) {
    line(false, L("diagnose.tray.instanceFailed", "the running Meterwright's item \u2014 %@",
                  *instance.problem));
  } else if (instance.diagnosis->trayItemRegistered) {
    line(true, L("diagnose.tray.item", "the running Meterwright's item is shown by a tray host"));
  } else {
    line(false, L("diagnose.tray.noItem",
                  "the running Meterwright's item is not shown \u2014 it runs without a tray"));
  }
  return ok;
}

void sourcesSection(Context& context, const CompositionRoot& root, const Config& config) {
  std::ostream& out = context.out;
  header(out, L("diagnose.sources", "Native sources"));
  std::unique_ptr<CompositeSource> composite = root.compositeSource(true, config);
  // One read through the shared poll state: a provider that is not due is answered from the
  // stored reading, never asked.
  std::optional<Snapshot> reading = composite->read();
  Date now = root.readerContext().clock->now();
  for (const std::shared_ptr<PolledSource>& source : composite->nativeSources()) {
    const ProviderSnapshot* provider = reading ? reading->provider(source->provider()) : nullptr;
    std::optional<SourceFailure> failure = source->lastFailure();
    if (provider && !failure) {
      check(out, true,
            L("diagnose.source.ok", "%1$@ \u2014 plan %2$@ \u00b7 %3$@", source->name(),
              provider->plan.value_or("?"), windowsText(*provider)));
    } else {
      check(out, false,
            source->name() + " \u2014 " +
                (failure ? failure->summary : L("diagnose.source.noData", "no data")));
      if (failure) more(out, failure->hint);
    }
    std::string polls =
        L("diagnose.source.polls", "polls every %@", Format::relative(source->minimumInterval()));
    if (source->isBackingOff()) polls += L("diagnose.source.backingOff", " \u00b7 backing off");
    double wait = secondsBetween(now, source->nextAttempt());
    if (wait > 0)
      polls += L("diagnose.source.next", " \u00b7 next request in %@", Format::relative(wait));
    more(out, polls);
  }
}

void languageSection(Context& context) {
  std::ostream& out = context.out;
  header(out, L("diagnose.language", "Language"));
  std::vector<std::string> spoken = Localization::available();
  std::sort(spoken.begin(), spoken.end());
  std::string list;
  for (const std::string& code : spoken) list += (list.empty() ? "" : ", ") + code;
  if (list.empty())
    check(out, false, L("diagnose.speaksNothing", "app speaks: nothing declared"));
  else
    check(out, true, L("diagnose.speaks", "app speaks: %@", list));
  std::vector<std::string> preferred = Localization::launchLanguages();
  if (preferred.size() > 2) preferred.resize(2);
  std::string first;
  for (const std::string& code : preferred) {
    // A POSIX locale name as a language tag: "en_GB.UTF-8" is shown as "en-GB".
    std::string tag = code.substr(0, code.find_first_of(".@"));
    std::replace(tag.begin(), tag.end(), '_', '-');
    first += (first.empty() ? "" : ", ") + tag;
  }
  note(out, L("diagnose.prefers", "this computer prefers: %@", first));
  note(out,
       L("diagnose.showing", "showing: %@", meterwright::L("diagnose.languageName", "English")));
}

void notificationsSection(Context& context, const EnvironmentBlock& environment,
                          const Config& config) {
  std::ostream& out = context.out;
  header(out, L("diagnose.notifications", "Notifications"));
  Notifier::Options options;
  options.environment = environment;
  // The notifier settles within twice its deadline: inside the section's bound.
  options.deadlineSeconds = Bounds::notificationSettings / 2.5;
  Notifier notifier(std::move(options));
  bool answered = false;
  notifier.refreshAuthorization([&] { answered = true; });
  MainLoopWait::until([&] { return answered; }, Bounds::notificationSettings);
  std::string server;
  if (const auto& information = notifier.server()) {
    // The server names itself: a long name is cut, at the start of a character.
    server = information->name + " " + information->version;
    std::size_t cut = 120;
    while (cut < server.size() && (static_cast<unsigned char>(server[cut]) & 0xC0) == 0x80) --cut;
    if (cut < server.size()) server.resize(cut);
  }
  if (!answered) {
    check(out, false,
          L("diagnose.notify.noAnswerIn", "the notification server did not answer within %@",
            seconds(Bounds::notificationSettings)));
  } else {
    switch (notifier.reach()) {
      case Notifier::Reach::noSessionBus:
        check(out, false,
              L("diagnose.notify.noBus", "no session bus \u2014 notify-send is used instead"));
        break;
      case Notifier::Reach::noServer:
        check(out, false,
              L("diagnose.notify.noServer",
                "no notification server on the session bus \u2014 notify-send is used instead"));
        break;
      case Notifier::Reach::answered:
        if (notifier.authorization() == Notifier::Authorization::allowedSilently)
          check(out, true,
                L("diagnose.notify.quiet", "allowed quietly \u2014 %@ shows titles only", server));
        else
          check(out, true, L("diagnose.notify.allowed", "allowed \u2014 %@", server));
        break;
      default:
        check(out, false, L("diagnose.notify.silent", "the notification server did not answer"));
    }
  }
  std::string warns =
      L("diagnose.warnsBelow", "warns below %d%% left", config.warnBelowRemainingPercent);
  if (!config.notifications)
    warns += L("diagnose.notificationsOff", " \u00b7 turned off in the config");
  more(out, warns);
}

void routeLines(std::ostream& out, const std::vector<ControlRoute>& transports,
                const std::vector<ControlRoute>& absent) {
  for (const ControlRoute& route : transports) {
    check(out, route.available, route.name);
    if (route.reason)
      more(out, *route.reason);
    else if (!route.available)
      more(out, L("sync.routeDown", "Not available right now"));
  }
  for (const ControlRoute& route : absent)
    check(out, false, route.name + " \u2014 " + route.reason.value_or(""));
}

void syncSection(Context& context, const CompositionRoot& root, const Config& config,
                 const Instance& instance) {
  std::ostream& out = context.out;
  header(out, L("diagnose.sync", "Device sync"));
  const std::string listener = L("diagnose.listener", "local network listener");
  // The running instance's publisher when one runs; otherwise this process's own, started here
  // and stopped when `local` goes.
  std::optional<LocalSync> local;
  std::optional<ControlDiagnosis> report = instance.diagnosis;
  if (instance.running) {
    note(out, L("diagnose.sync.instance", "as the running Meterwright reports it"));
  } else {
    local.emplace(startSync(root));
    report = ControlHandlers::syncDiagnosis(*local->manager);
  }
  if (!report) {
    check(out, false, listener + " \u2014 " + *instance.problem);
  } else {
    if (report->listening)
      check(out, true, listener);
    else
      check(out, false,
            listener + " \u2014 " +
                (!report->publishing
                     ? L("diagnose.otherPublisher", "another Meterwright process is publishing")
                     : report->lastError.value_or(L("diagnose.didNotStart", "did not start"))));
    print(out, L("diagnose.thisComputer", "  this computer: %@", report->deviceName));
    print(out, L("diagnose.pairedDevices", "  paired devices: %d",
                 static_cast<int>(report->pairedDevices)));
    routeLines(out, report->transports, report->absentRoutes);
  }

  std::filesystem::path container = CloudKitTransport::containerFolder(
      root.readerContext().locations, root.readerContext().environment.lookup());
  note(out, L("diagnose.container", "cloud container: %1$@ \u00b7 %2$@",
              std::string(CloudKitTransport::containerID), container.string()));
  if (std::optional<std::string> tool = syncToolAbove(container))
    note(out, L("diagnose.syncTool", "%@ seems to replicate this folder", *tool));
  else
    note(out, L("diagnose.noSyncTool", "no sync tool found above this folder"));
  if (local && !local->cloudAnswered) {
    note(out, L("diagnose.cloudSilent",
                "the cloud folder did not answer within %@ \u2014 the line above is what was "
                "known at that point, not a verdict",
                seconds(Bounds::cloudCheck)));
  }

  std::string icons;
  for (const auto& [id, png] : SyncManager::providerIcons(config, *IconCache::shared())) {
    if (!icons.empty()) icons += " \u00b7 ";
    icons += id + " " + std::to_string(png.size() / 1024) + "KB";
  }
  if (icons.empty())
    check(out, false,
          L("diagnose.noIcons",
            "provider icons \u2014 none drawn; devices will fall back to "
            "symbols"));
  else
    check(out, true, L("diagnose.icons", "provider icons: %@", icons));
  // `local` stops the coordinator as it goes.
}

void sleepSection(Context& context, const CompositionRoot& root) {
  std::ostream& out = context.out;
  header(out, L("diagnose.sleep", "While this computer sleeps"));
  for (const SleepDiagnostics::Line& line : sleepChecks(root)) check(out, line.ok, line.line);
}

}  // namespace

int diagnose(Context& context) {
  Config config = ConfigStore::load(context.locations).config;
  auto root = CompositionRoot::forProcess(context.locations, context.has("--allow-keychain"));
  const EnvironmentBlock& environment = root.readerContext().environment;
  Instance instance = askInstance(context.locations);

  bool trayOk = traySection(context, environment, instance);
  sourcesSection(context, root, config);
  languageSection(context);
  notificationsSection(context, environment, config);
  syncSection(context, root, config, instance);
  sleepSection(context, root);
  context.out.flush();
  return trayOk ? 0 : 1;
}

}  // namespace meterwright::Jobs
