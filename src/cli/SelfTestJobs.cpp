// The self-tests: --wake-selftest (what a scheduled wake does, timed), --icloud-selftest (a round
// trip through the cloud folder) and --renew-claude (Claude Code asked to renew its sign-in).
// Each prints its verdict lines and ends with an exit status; every wait is bounded.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>
#include <ostream>
#include <thread>

#include "cli/Diagnostics.h"
#include "cli/Jobs.h"
#include "core/config/ConfigStore.h"
#include "core/control/ControlCoding.h"
#include "core/format/Format.h"
#include "core/readers/CompositeSource.h"
#include "core/readers/PolledSource.h"
#include "core/sync/cloud/CloudKitTransport.h"
#include "core/sync/pairing/PairedDeviceStore.h"
#include "desktop/CompositionRoot.h"
#include "desktop/readers/claude/ClaudeCredentials.h"
#include "desktop/readers/claude/ClaudeCredentialsFile.h"
#include "desktop/readers/claude/ClaudeSessionRenewer.h"
#include "desktop/sync/ProcessSync.h"
#include "desktop/sync/SyncManager.h"
#include "desktop/text/DesktopText.h"
#include "platform/control/ControlClient.h"
#include "platform/glib/MainContextScheduler.h"
#include "platform/glib/MainLoopWait.h"
#include "platform/power/PowerAssertion.h"

namespace meterwright::Jobs {

namespace {

using desktop::L;
using namespace Diagnostics;
using Steady = std::chrono::steady_clock;

double secondsSince(Steady::time_point start) {
  return std::chrono::duration<double>(Steady::now() - start).count();
}

std::string oneDecimal(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", seconds);
  return text;
}

// The stored expiry of Claude Code's sign-in; nothing when no credential can be read.
std::optional<Date> storedExpiry(const CompositionRoot& root) {
  const ReaderContext& reader = root.readerContext();
  ClaudeCredentialsFile file(ClaudeCredentialsFile::location(reader.locations, reader.environment));
  SecretReadResult result =
      file.read(std::string(ClaudeCredentialItems::service), /*allowInteraction=*/true);
  if (!result.item) return std::nullopt;
  std::optional<ClaudeCredentials> credentials = ClaudeCredentials::parse(result.item->data);
  if (!credentials) return std::nullopt;
  return credentials->expiresAt;
}

// The date as the platform describes one: "2026-12-07 04:49:59 +0000".
std::string expiryText(const std::optional<Date>& expiry) {
  if (!expiry) return L("renew.noCredential", "no readable credential");
  std::time_t seconds = std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(*expiry));
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[64] = {};
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S +0000", &utc);
  return L("renew.validUntil", "token valid until %@", std::string(text));
}

const char* outcomeName(ClaudeSessionRenewer::Outcome::Kind kind) {
  using Kind = ClaudeSessionRenewer::Outcome::Kind;
  switch (kind) {
    case Kind::renewed:
      return "renewed";
    case Kind::unchanged:
      return "unchanged";
    case Kind::noExecutable:
      return "noExecutable";
    case Kind::signedOut:
      return "signedOut";
    case Kind::timedOut:
      return "timedOut";
    case Kind::failed:
      break;
  }
  return "failed";
}

void sleepLines(std::ostream& out, const CompositionRoot& root) {
  for (const SleepDiagnostics::Line& line : sleepChecks(root)) verdict(out, line.ok, line.line);
}

// The reading and its publish in this process, through its own sync manager.
ControlWake wakeHere(const CompositionRoot& root, const Config& config,
                     CompositeSource& composite) {
  LocalSync sync = startSync(root);
  ControlWake wake;
  Steady::time_point start = Steady::now();
  std::optional<Snapshot> reading = composite.read();
  wake.readSeconds = secondsSince(start);
  if (reading)
    for (const ProviderSnapshot& provider : reading->providers)
      wake.providers.push_back(provider.id);
  SyncManager& manager = *sync.manager;
  wake.pairedDevices = static_cast<std::int64_t>(manager.store()->devices().size());
  if (wake.providers.empty()) return wake;
  // Another process that holds the publisher lock publishes instead; the read is all there is.
  if (!sync.otherPublisher) {
    manager.publish(*reading, config);
    if (const auto& cloud = manager.cloud(); cloud && cloud->isAvailable())
      wake.idle = cloud->waitUntilIdle(Bounds::cloudIdle);
  }
  wake.totalSeconds = secondsSince(start);
  return wake;
}

// The running instance's reading and publish; nothing, with `problem` set, when it did not
// carry them out in time.
std::optional<ControlWake> wakeThroughInstance(ControlClient& instance,
                                               std::optional<std::string>& problem) {
  std::optional<ControlAnswer> answer;
  if (instance.send({ControlRequestKind::wake, {}}, Bounds::instanceStep))
    answer = instance.readAnswer(Bounds::instanceStep);
  if (!answer) {
    problem = L("wake.instanceSilent", "no answer within %@", seconds(Bounds::instanceStep * 2));
  } else if (answer->failure) {
    problem = answer->failure->kind == ControlFailureKind::unknownRequest
                  ? L("diagnose.instance.older",
                      "the running Meterwright is older and cannot report this")
                  : answer->failure->message;
  } else {
    std::optional<std::string> line = instance.readLine(Bounds::instanceWake);
    std::optional<ControlEvent> event;
    if (line) event = ControlCoding::decodeEvent(*line);
    if (event && event->kind == ControlEventKind::woke) return event->wake;
    problem = line ? L("wake.instanceGarbled", "its report could not be read")
                   : L("wake.instanceLate", "no report within %@", seconds(Bounds::instanceWake));
  }
  return std::nullopt;
}

}  // namespace

int renewClaude(Context& context) {
  auto root = CompositionRoot::forProcess(context.locations, true);
  std::ostream& out = context.out;
  std::optional<Date> before = storedExpiry(root);
  print(out, L("renew.before", "before: %@", expiryText(before)));
  print(out, L("renew.asking", "asking Claude Code to renew its own sign-in\u2026"));
  out.flush();
  ClaudeSessionRenewer::Outcome outcome = root.readerContext().renewer->renew(Bounds::renewal);
  std::optional<Date> after = storedExpiry(root);
  print(out, L("renew.outcome", "outcome: %@", std::string(outcomeName(outcome.kind))));
  print(out, L("renew.after", "after:  %@", expiryText(after)));
  if (before && after) {
    double moved = secondsBetween(*before, *after);
    if (moved > 1)
      verdict(out, true,
              L("renew.moved", "the stored expiry moved forward by %@", Format::relative(moved)));
    else
      verdict(out, false, L("renew.notMoved", "the stored expiry did not move"));
  }
  return 0;
}

int icloudSelftest(Context& context) {
  auto root = CompositionRoot::forProcess(context.locations, false);
  std::ostream& out = context.out;
  const ReaderContext& reader = root.readerContext();
  std::filesystem::path container =
      CloudKitTransport::containerFolder(reader.locations, reader.environment.lookup());
  if (!CloudKitTransport::isEntitled(container)) {
    verdict(out, false,
            L("icloud.notEntitled",
              "the cloud folder %1$@ does not exist, so this computer has no cloud route \u2014 "
              "create it (mkdir -p %1$@), or set METERWRIGHT_CLOUD_CONTAINER to a folder your "
              "sync tool replicates",
              container.string()));
    return 1;
  }
  // The cloud route alone: neither the publisher's lock nor its listener is needed, so this also
  // runs beside the application.
  std::unique_ptr<SyncManager> manager = ProcessSync::syncManager(root);
  std::shared_ptr<CloudKitTransport> cloud = manager->cloud();
  if (!cloud) {
    verdict(out, false, L("icloud.neverBuilt", "the cloud route was never constructed"));
    return 1;
  }
  cloud->start();
  bool checked = cloud->waitUntilChecked(Bounds::cloudCheck);
  if (!checked || !cloud->isAvailable()) {
    verdict(out, false,
            L("icloud.unavailable", "the cloud folder is not available: %@",
              cloud->unavailableReason().value_or(L("icloud.noReason", "no reason given"))));
    cloud->stop();
    return 1;
  }

  // Handed from the worker to this thread; the worker may outlive the wait.
  struct Holder {
    std::mutex lock;
    std::condition_variable ready;
    std::optional<SyncResult<std::string>> result;
  };
  auto holder = std::make_shared<Holder>();
  std::thread([holder, cloud] {
    SyncResult<std::string> result = cloud->selfTest();
    std::lock_guard guard(holder->lock);
    holder->result = std::move(result);
    holder->ready.notify_one();
  }).detach();
  std::optional<SyncResult<std::string>> result;
  {
    std::unique_lock guard(holder->lock);
    holder->ready.wait_for(guard, std::chrono::duration<double>(Bounds::cloudSelfTest),
                           [&] { return holder->result.has_value(); });
    result = holder->result;
  }
  std::string where = std::string(CloudKitTransport::containerID) + " \u00b7 " +
                      CloudKitTransport::containerEnvironment(container).value_or("?");
  int status = 1;
  if (!result) {
    verdict(out, false,
            L("icloud.silent", "the cloud folder did not answer within %@",
              seconds(Bounds::cloudSelfTest)));
  } else if (result->ok()) {
    verdict(out, true, where + " \u2014 " + result->value());
    print(out, L("icloud.works",
                 "  Your other devices can receive readings through the cloud "
                 "folder."));
    status = 0;
  } else {
    verdict(out, false, where + " \u2014 " + result->error().description());
    print(out, L("icloud.failedHint",
                 "  Check that this folder can be written and that your sync tool does not "
                 "lock its files."));
  }
  // A self-test still running past the wait keeps the transport alive in its thread; stopping
  // waits only for the transport's own queue.
  if (result) cloud->stop();
  return status;
}

int wakeSelftest(Context& context) {
  std::ostream& out = context.out;
  Config config = ConfigStore::load(context.locations).config;
  auto root = CompositionRoot::forProcess(context.locations, context.has("--allow-keychain"));
  const ReaderContext& reader = root.readerContext();

  MainContextScheduler scheduler;
  PowerAssertion assertion(scheduler, {reader.environment});
  assertion.take(Bounds::powerAssertionCap);
  // PowerAssertion answers within its own deadline; this only bounds the loop around it.
  MainLoopWait::until([&] { return assertion.state() != PowerAssertion::State::requested; },
                      PowerAssertion::Options{}.deadlineSeconds + 1);
  if (assertion.state() != PowerAssertion::State::held) {
    verdict(out, false,
            L("wake.refused",
              "logind refused to hold off sleep \u2014 a scheduled wake would end "
              "before the"));
    print(out, L("wake.refused2",
                 "  reading left this computer. Nothing to configure; this is a "
                 "system fault."));
    assertion.release();
    return 1;
  }
  verdict(out, true,
          L("wake.assertion",
            "power assertion \u2014 the computer cannot return to sleep while "
            "a reading is going out"));

  // A running instance reads and publishes itself, as at a real wake: no second listener here.
  std::optional<ControlWake> wake;
  std::unique_ptr<CompositeSource> composite = root.compositeSource(true, config);
  if (std::optional<ControlClient> instance = ControlClient::connect(
          ControlClient::socketPath(context.locations), Bounds::instanceStep)) {
    std::optional<std::string> problem;
    wake = wakeThroughInstance(*instance, problem);
    if (!wake) {
      assertion.release();
      verdict(out, false,
              L("wake.instanceFailed", "the running Meterwright did not take the reading: %@",
                *problem));
      return 1;
    }
  } else {
    wake = wakeHere(root, config, *composite);
  }
  assertion.release();

  if (wake->providers.empty()) {
    verdict(out, false,
            L("wake.noReading", "no provider answered, so there was nothing to publish"));
    // The poll state is shared: these are the failures of the attempts just made, whichever
    // process made them.
    for (const auto& source : composite->nativeSources()) {
      if (std::optional<SourceFailure> failure = source->lastFailure())
        print(out, "  " + source->name() + ": " + failure->summary);
    }
    print(out, L("wake.allowKeychain",
                 "  Add --allow-keychain if Claude was skipped: a command-line run is not allowed "
                 "to raise the secret store's prompt without it."));
    return 1;
  }

  std::string ids;
  for (const std::string& provider : wake->providers) ids += (ids.empty() ? "" : ", ") + provider;
  std::string line = L("wake.read", "read %1$@ in %2$@s, published in %3$@s", ids,
                       oneDecimal(wake->readSeconds), oneDecimal(wake->totalSeconds));
  if (!wake->idle) line += L("wake.stillGoing", " \u2014 still going when the wait ran out");
  verdict(out, wake->idle, line);

  std::string devices =
      L("wake.paired", "  %d paired device(s)", static_cast<int>(wake->pairedDevices));
  if (wake->pairedDevices == 0)
    devices += L("wake.nothingSent",
                 " \u2014 nothing was sealed or sent, so the time above is the read alone");
  print(out, devices);
  if (wake->idle && wake->totalSeconds > Bounds::cloudIdle)
    print(out, L("wake.slow",
                 "  Longer than a wake from sleep usually lasts. The assertion "
                 "covers it, but a provider this slow is worth looking at."));
  sleepLines(out, root);
  return wake->idle ? 0 : 1;
}

}  // namespace meterwright::Jobs
