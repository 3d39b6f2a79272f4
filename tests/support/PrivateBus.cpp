#include "support/PrivateBus.h"

#include "platform/process/ExecutableSearch.h"
#include "support/TemporaryFolder.h"

namespace meterwright::testing {

PrivateBus::PrivateBus(const std::filesystem::path& folder) {
  // The system folders first: a test may have narrowed PATH to its fakes.
  auto program = ExecutableSearch::find({"/usr/bin/dbus-daemon", "/bin/dbus-daemon"}, "dbus-daemon",
                                        EnvironmentBlock::ofProcess());
  if (!program) {
    problem_ = "dbus-daemon is not installed (scripts/setup installs it)";
    return;
  }
  std::filesystem::create_directories(folder);
  std::string socket = (folder / "bus").string();
  writeFile(folder / "bus.conf", R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=)" + socket + R"(</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
  </policy>
</busconfig>
)");
  ChildProcess::Launch launch;
  launch.executable = *program;
  launch.arguments = {"--config-file=" + (folder / "bus.conf").string(), "--nofork", "--nopidfile",
                      "--print-address=1"};
  launch.environment = EnvironmentBlock::ofProcess();
  launch.output = ChildProcess::Stream::pipe;
  std::string why;
  daemon_ = ChildProcess::start(launch, &why);
  if (!daemon_) {
    problem_ = "dbus-daemon did not start: " + why;
    return;
  }
  // It prints its address once it listens.
  std::string printed;
  daemon_->readOutput(ChildProcess::deadlineAfter(10), [&](std::string_view chunk) {
    printed += chunk;
    return printed.find('\n') == std::string::npos;
  });
  if (printed.find(socket) == std::string::npos) {
    problem_ = "dbus-daemon printed no address: " + printed;
    stop();
    return;
  }
  address_ = printed.substr(0, printed.find('\n'));
}

PrivateBus::~PrivateBus() {
  stop();
}

void PrivateBus::stop() {
  if (daemon_) daemon_->terminate(5);
  daemon_.reset();
}

}  // namespace meterwright::testing
