#include "cli/JobRunner.h"

#include "cli/CommandLine.h"
#include "cli/Jobs.h"
#include "cli/StatusLineJobs.h"

namespace meterwright::JobRunner {

int run(const std::vector<std::string>& arguments, const FileLocations& locations,
        std::ostream& out, std::ostream& err) {
  using CommandLine::Job;
  CommandLine::prepare(locations);
  Jobs::Context context{arguments, locations, out, err};
  Job job = CommandLine::dispatch(arguments);
  if (StatusLineJobs::runsHere(job)) return StatusLineJobs::run(job, context);
  switch (job) {
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
    case Job::pair:
      return Jobs::pair(context);
    case Job::devices:
      return Jobs::devices(context);
    case Job::revoke:
      return Jobs::revoke(context);
    default:
      return Jobs::application(context);
  }
}

}  // namespace meterwright::JobRunner
