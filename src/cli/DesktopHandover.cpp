#include "cli/DesktopHandover.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ostream>
#include <string>

#include "desktop/text/DesktopText.h"
#include "platform/files/ProgramFiles.h"

namespace meterwright::DesktopHandover {

int exec(char** argv, std::ostream& err) {
  std::string program = ProgramFiles::besideThisProgram(programName).string();
  // argv[0] stays as the user typed it, so the process still reads as meterwright.
  ::execv(program.c_str(), argv);
  int error = errno;
  err << desktop::L("cli.desktopMissing", "meterwright: cannot start %@: %@", program,
                    std::string(std::strerror(error)))
      << "\n";
  return 1;
}

}  // namespace meterwright::DesktopHandover
