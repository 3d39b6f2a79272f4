#include "cli/StatusLineJobs.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <ostream>

#include "cli/FilteredSnapshot.h"
#include "cli/FollowLoop.h"
#include "cli/HelpText.h"
#include "cli/ReadOnce.h"
#include "cli/WaybarOutput.h"
#include "core/config/ConfigStore.h"
#include "core/usage/SnapshotStore.h"
#include "desktop/CompositionRoot.h"
#include "desktop/render/Render.h"
#include "desktop/text/DesktopText.h"

namespace meterwright::StatusLineJobs {

using Jobs::Context;

namespace {

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

bool runsHere(CommandLine::Job job) {
  using CommandLine::Job;
  return job == Job::help || job == Job::config || job == Job::print || job == Job::json ||
         job == Job::unknownOption;
}

int run(CommandLine::Job job, Context& context) {
  using CommandLine::Job;
  switch (job) {
    case Job::help:
      return help(context);
    case Job::config:
      return config(context);
    case Job::print:
      return print(context);
    case Job::json:
      return json(context);
    default:
      return unknownOption(context, CommandLine::unknownArgument(context.arguments).value_or(""));
  }
}

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
  ReadOnce reading = ReadOnce::take(context);
  context.out << statusLine(context, reading.snapshot, reading.config, reading.now) << "\n";
  return reading.snapshot ? 0 : 1;
}

int json(Context& context) {
  ReadOnce reading = ReadOnce::take(context);
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

int unknownOption(Context& context, const std::string& argument) {
  context.err << desktop::L("cli.unknownOption", "meterwright: unknown option %@", argument) << "\n"
              << desktop::L("cli.seeHelp", "Try 'meterwright --help' for the list of options.")
              << "\n";
  return Jobs::usageStatus;
}

}  // namespace meterwright::StatusLineJobs
