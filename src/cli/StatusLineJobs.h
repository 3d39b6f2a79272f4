#pragma once

#include <string>

#include "cli/CommandLine.h"
#include "cli/JobContext.h"

// The jobs a status bar or a script runs every few seconds, and the ones that only print text:
// what the `meterwright` program does itself, without loading any drawing or session library.
namespace meterwright::StatusLineJobs {

// Whether `job` is one of these.
bool runsHere(CommandLine::Job job);
// Runs one of them; each returns the process's exit status.
int run(CommandLine::Job job, Jobs::Context& context);

int help(Jobs::Context& context);
int config(Jobs::Context& context);
// --print, with --waybar and --follow.
int print(Jobs::Context& context);
int json(Jobs::Context& context);
// An argument nothing understands: says which, points to --help, and exits 2.
int unknownOption(Jobs::Context& context, const std::string& argument);

}  // namespace meterwright::StatusLineJobs
