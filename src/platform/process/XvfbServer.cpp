#include "platform/process/XvfbServer.h"

#include "platform/process/ExecutableSearch.h"

namespace meterwright {

XvfbServer::XvfbServer() {
  EnvironmentBlock system = EnvironmentBlock::ofProcess();
  auto program = ExecutableSearch::find({"/usr/bin/Xvfb"}, "Xvfb", system);
  if (!program) {
    problem_ = "Xvfb is not installed (scripts/setup installs it)";
    return;
  }
  ChildProcess::Launch launch;
  launch.executable = *program;
  // -displayfd: Xvfb picks a free display number and writes it once it accepts connections.
  // -terminate: it ends when its last client goes, so a process that crashes before it can stop
  // the server does not leave it behind.
  launch.arguments = {"-displayfd", "1",       "-nolisten", "tcp",
                      "-terminate", "-screen", "0",         "1280x1024x24"};
  launch.environment = system;
  launch.output = ChildProcess::Stream::pipe;
  std::string why;
  server_ = ChildProcess::start(launch, &why);
  if (!server_) {
    problem_ = "Xvfb did not start: " + why;
    return;
  }
  std::string number;
  server_->readOutput(ChildProcess::deadlineAfter(20), [&](std::string_view chunk) {
    number += chunk;
    return number.find('\n') == std::string::npos;
  });
  if (number.find('\n') == std::string::npos) {
    problem_ = "Xvfb did not start a display";
    server_->terminate(5);
    server_.reset();
    return;
  }
  name_ = ":" + number.substr(0, number.find('\n'));
}

XvfbServer::~XvfbServer() {
  if (server_) server_->terminate(5);
}

}  // namespace meterwright
