#include "platform/files/ProgramFiles.h"

#include <system_error>

namespace meterwright::ProgramFiles {

std::filesystem::path thisProgram() {
  std::error_code error;
  return std::filesystem::read_symlink("/proc/self/exe", error);
}

std::filesystem::path besideThisProgram(std::string_view name) {
  return thisProgram().parent_path() / name;
}

std::filesystem::path commandLineProgram() {
  std::filesystem::path program = besideThisProgram("meterwright");
  std::error_code error;
  if (std::filesystem::is_regular_file(program, error)) return program;
  return thisProgram();
}

}  // namespace meterwright::ProgramFiles
