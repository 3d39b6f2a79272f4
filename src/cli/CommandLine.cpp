#include "cli/CommandLine.h"

#include <algorithm>
#include <array>
#include <utility>

#include "cli/Jobs.h"
#include "core/config/ConfigStore.h"
#include "core/settings/UserDefaults.h"
#include "core/text/Localization.h"

namespace meterwright::CommandLine {

namespace {

// The dispatch order: when several options are given, the earliest row wins.
constexpr std::array<std::pair<const char*, Job>, 13> table{{
    {"--help", Job::help},
    {"-h", Job::help},
    {"--config", Job::config},
    {"--print", Job::print},
    {"--json", Job::json},
    {"--make-icon", Job::makeIcon},
    {"--make-app-icon", Job::makeAppIcon},
    {"--test-notification", Job::testNotification},
    {"--renew-claude", Job::renewClaude},
    {"--diagnose", Job::diagnose},
    {"--icloud-selftest", Job::icloudSelftest},
    {"--wake-selftest", Job::wakeSelftest},
    {"--preview", Job::preview},
}};

}  // namespace

Job dispatch(const std::vector<std::string>& arguments) {
  for (const auto& [option, job] : table) {
    if (std::find(arguments.begin(), arguments.end(), option) != arguments.end()) return job;
  }
  return Job::application;
}

int run(const std::vector<std::string>& arguments, const FileLocations& locations,
        std::ostream& out, std::ostream& err) {
  // Every run, --help included, leaves a configuration file behind. A load error is not reported
  // here: each job falls back to the defaults on its own.
  Config config = ConfigStore::load(locations).config;
  // Before any text is produced, so every module picks up the launch language.
  UserDefaults defaults(locations.userDefaultsFile());
  Localization::apply(config.language, defaults);

  Jobs::Context context{arguments, locations, out, err};
  switch (dispatch(arguments)) {
    case Job::help:
      return Jobs::help(context);
    case Job::config:
      return Jobs::config(context);
    case Job::print:
      return Jobs::print(context);
    case Job::json:
      return Jobs::json(context);
    case Job::makeIcon:
      return Jobs::makeIcon(context);
    case Job::makeAppIcon:
      return Jobs::makeAppIcon(context);
    case Job::testNotification:
      return Jobs::testNotification(context);
    case Job::renewClaude:
      return Jobs::renewClaude(context);
    case Job::diagnose:
      return Jobs::diagnose(context);
    case Job::icloudSelftest:
      return Jobs::icloudSelftest(context);
    case Job::wakeSelftest:
      return Jobs::wakeSelftest(context);
    case Job::preview:
      return Jobs::preview(context);
    case Job::application:
      return Jobs::application(context);
  }
  return Jobs::application(context);
}

}  // namespace meterwright::CommandLine
