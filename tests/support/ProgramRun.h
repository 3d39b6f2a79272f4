#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace meterwright::testing {

// What a child process left behind.
struct ProgramResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs `program` with `arguments` and exactly the environment given, standard output and error
// captured through files in `scratch`; waits for it and reaps it. It starts in
// `workingFolder` when one is given, else in the test's own.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment,
                         const std::filesystem::path& scratch,
                         const std::filesystem::path& workingFolder = {});

}  // namespace meterwright::testing
