#include "cli/Diagnostics.h"

#include <cmath>
#include <system_error>

#include "core/format/Format.h"
#include "core/sync/SyncCoordinator.h"
#include "core/sync/cloud/CloudKitTransport.h"
#include "core/sync/lan/LocalNetworkPublisher.h"
#include "desktop/CompositionRoot.h"
#include "desktop/sync/ProcessSync.h"
#include "desktop/sync/SyncManager.h"
#include "desktop/text/DesktopText.h"
#include "platform/control/ControlClient.h"
#include "platform/power/SleepSchedule.h"

namespace meterwright::Diagnostics {

namespace {

// A folder with more entries than this is not searched further for a marker.
constexpr int entriesLooked = 10000;

}  // namespace

void print(std::ostream& out, std::string_view line) {
  std::string shown;
  shown.reserve(line.size() + 1);
  for (std::size_t i = 0; i < line.size(); ++i) {
    auto byte = static_cast<unsigned char>(line[i]);
    // C1 controls arrive in UTF-8 as C2 80–C2 9F.
    if (byte == 0xC2 && i + 1 < line.size() && static_cast<unsigned char>(line[i + 1]) >= 0x80 &&
        static_cast<unsigned char>(line[i + 1]) <= 0x9F) {
      shown += '?';
      ++i;
    } else {
      shown += byte < 0x20 || byte == 0x7F ? '?' : static_cast<char>(byte);
    }
  }
  out << shown << "\n";
}

void check(std::ostream& out, bool ok, std::string_view text) {
  print(out, std::string("  ") + (ok ? "\u2713" : "\u2717") + "  " + std::string(text));
}

void note(std::ostream& out, std::string_view text) {
  print(out, "  \u2022  " + std::string(text));
}

void more(std::ostream& out, std::string_view text) {
  print(out, "       " + std::string(text));
}

void verdict(std::ostream& out, bool ok, std::string_view text) {
  print(out, std::string(ok ? "\u2713" : "\u2717") + " " + std::string(text));
}

Instance askInstance(const FileLocations& locations) {
  Instance instance;
  std::optional<ControlClient> client =
      ControlClient::connect(ControlClient::socketPath(locations), Bounds::instanceStep);
  if (!client) return instance;
  instance.running = true;
  std::optional<ControlAnswer> answer;
  if (client->send({ControlRequestKind::diagnose, {}}, Bounds::instanceStep))
    answer = client->readAnswer(Bounds::instanceStep);
  using desktop::L;
  if (!answer) {
    instance.problem = L("diagnose.instance.silent",
                         "the running Meterwright gave no answer that could be read within %@",
                         seconds(Bounds::instanceStep * 2));
  } else if (answer->failure) {
    instance.problem = answer->failure->kind == ControlFailureKind::unknownRequest
                           ? L("diagnose.instance.older",
                               "the running Meterwright is older and cannot report this")
                           : L("diagnose.instance.failed", "the running Meterwright says: %@",
                               answer->failure->message);
  } else if (!answer->diagnosis) {
    instance.problem =
        L("diagnose.instance.noDiagnosis", "the running Meterwright answered without a report");
  } else {
    instance.diagnosis = answer->diagnosis;
  }
  return instance;
}

LocalSync::~LocalSync() {
  if (manager) manager->stop();
}

LocalSync startSync(const CompositionRoot& root) {
  LocalSync sync;
  sync.manager = ProcessSync::syncManager(root);
  if (sync.manager->start() == SyncManager::Start::anotherProcessPublishes) {
    sync.otherPublisher = true;
    return sync;
  }
  sync.listening = sync.manager->publisher()->waitUntilReady(Bounds::listener);
  if (const auto& cloud = sync.manager->cloud())
    sync.cloudAnswered = cloud->waitUntilChecked(Bounds::cloudCheck);
  return sync;
}

std::vector<SleepDiagnostics::Line> sleepChecks(const CompositionRoot& root) {
  const ReaderContext& reader = root.readerContext();
  SleepSchedule schedule(*reader.clock,
                         {reader.environment, SleepSchedule::helperBesideExecutable()});
  return SleepDiagnostics::lines(SleepDiagnostics::gather(schedule, reader.environment));
}

std::optional<std::string> syncToolAbove(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::path at = std::filesystem::absolute(folder, error).lexically_normal();
  if (error) return std::nullopt;
  for (;;) {
    int looked = 0;
    for (std::filesystem::directory_iterator entries(at, error), end;
         !error && entries != end && looked < entriesLooked; entries.increment(error), ++looked) {
      std::string name = entries->path().filename().string();
      if (name == ".stfolder") return "Syncthing";
      if (name == ".nextcloudsync.log") return "Nextcloud";
      if (name == ".owncloudsync.log") return "ownCloud";
      bool journal =
          (name.starts_with(".sync_") || name.starts_with("._sync_")) && name.ends_with(".db");
      if (journal) return "Nextcloud/ownCloud";
    }
    error.clear();
    if (!at.has_parent_path() || at.parent_path() == at) return std::nullopt;
    at = at.parent_path();
  }
}

std::string seconds(double bound) {
  return std::to_string(static_cast<long>(std::lround(bound))) + "s";
}

std::string windowsText(const ProviderSnapshot& provider) {
  std::string text;
  for (const UsageWindow& window : provider.windows) {
    if (!text.empty()) text += " ";
    text += window.label() + " " + Format::percent(window.usedPercent);
  }
  return text;
}

}  // namespace meterwright::Diagnostics
