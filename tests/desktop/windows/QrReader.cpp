#include "desktop/windows/QrReader.h"

#include "platform/process/ExecutableSearch.h"
#include "platform/process/ProcessRun.h"

namespace meterwright::testing {

QrReading readQrCode(const std::filesystem::path& path) {
  EnvironmentBlock system = EnvironmentBlock::ofProcess();
  auto zbarimg = ExecutableSearch::find({"/usr/bin/zbarimg"}, "zbarimg", system);
  if (!zbarimg) return {"zbarimg is not installed (scripts/setup installs zbar-tools)", {}};
  auto run = runCollectingOutput(*zbarimg, {"--raw", "-q", path.string()}, system, 30, 2, 65536);
  if (!run) return {"zbarimg did not start", {}};
  // Status 4: no code found.
  if (run->exitStatus != 0) return {};
  std::string text = run->standardOutput;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return {{}, text};
}

}  // namespace meterwright::testing
