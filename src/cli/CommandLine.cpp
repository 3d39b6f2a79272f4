#include "cli/CommandLine.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <iterator>

#include "core/config/ConfigStore.h"
#include "core/settings/UserDefaults.h"
#include "core/text/Localization.h"

namespace meterwright::CommandLine {

namespace {

// What an argument may be. A job option picks the run's job; a modifier changes how a job runs.
// A job's path is optional; its value is not.
enum class Kind { job, jobWithPath, jobWithValue, modifier };

struct Option {
  const char* name;
  Kind kind;
  Job job;
};

// The dispatch order: when several job options are given, the earliest row wins.
constexpr std::array<Option, 19> table{{
    {"--help", Kind::job, Job::help},
    {"-h", Kind::job, Job::help},
    {"--config", Kind::job, Job::config},
    {"--print", Kind::job, Job::print},
    {"--json", Kind::job, Job::json},
    {"--make-icon", Kind::jobWithPath, Job::makeIcon},
    {"--make-app-icon", Kind::jobWithPath, Job::makeAppIcon},
    {"--test-notification", Kind::job, Job::testNotification},
    {"--renew-claude", Kind::job, Job::renewClaude},
    {"--diagnose", Kind::job, Job::diagnose},
    {"--icloud-selftest", Kind::job, Job::icloudSelftest},
    {"--wake-selftest", Kind::job, Job::wakeSelftest},
    {"--preview", Kind::job, Job::preview},
    {"--pair", Kind::job, Job::pair},
    {"--devices", Kind::job, Job::devices},
    {"--revoke", Kind::jobWithValue, Job::revoke},
    {"--allow-keychain", Kind::modifier, Job::application},
    // Modifiers of --print; given alone they mean it.
    {"--waybar", Kind::modifier, Job::print},
    {"--follow", Kind::modifier, Job::print},
}};

const Option* find(const std::string& argument) {
  auto it = std::find_if(table.begin(), table.end(),
                         [&](const Option& option) { return argument == option.name; });
  return it == table.end() ? nullptr : &*it;
}

}  // namespace

std::optional<std::string> unknownArgument(const std::vector<std::string>& arguments) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const Option* option = find(arguments[i]);
    if (!option) return arguments[i];
    // The optional path: taken when the next argument is not itself an option.
    if (option->kind == Kind::jobWithPath && i + 1 < arguments.size() && !find(arguments[i + 1]))
      ++i;
    if (option->kind == Kind::jobWithValue && i + 1 < arguments.size()) ++i;
  }
  return std::nullopt;
}

std::optional<std::string> pathAfter(const std::vector<std::string>& arguments,
                                     std::string_view option) {
  auto it = std::find(arguments.begin(), arguments.end(), option);
  if (it == arguments.end() || std::next(it) == arguments.end() || find(*std::next(it))) {
    return std::nullopt;
  }
  return *std::next(it);
}

std::optional<std::string> valueAfter(const std::vector<std::string>& arguments,
                                      std::string_view option) {
  auto it = std::find(arguments.begin(), arguments.end(), option);
  if (it == arguments.end() || std::next(it) == arguments.end()) return std::nullopt;
  return *std::next(it);
}

Job dispatch(const std::vector<std::string>& arguments) {
  if (unknownArgument(arguments)) return Job::unknownOption;
  auto given = [&](const Option& option) {
    return std::find(arguments.begin(), arguments.end(), option.name) != arguments.end();
  };
  for (const Option& option : table) {
    if (option.kind != Kind::modifier && given(option)) return option.job;
  }
  for (const Option& option : table) {
    if (option.kind == Kind::modifier && option.job != Job::application && given(option))
      return option.job;
  }
  return Job::application;
}

void prepare(const FileLocations& locations) {
  // Every run, --help included, leaves a configuration file behind. A load error is not reported
  // here: each job falls back to the defaults on its own.
  Config config = ConfigStore::load(locations).config;
  UserDefaults defaults(locations.userDefaultsFile());
  Localization::apply(config.language, defaults);
}

}  // namespace meterwright::CommandLine
