#include "cli/SecondInstance.h"

#include <ostream>

#include "desktop/text/DesktopText.h"
#include "platform/control/ControlClient.h"

namespace meterwright::SecondInstance {

Reply ask(const FileLocations& locations, const ControlRequest& request) {
  std::optional<ControlClient> client =
      ControlClient::connect(ControlClient::socketPath(locations), answerDeadline);
  if (!client) return {};
  Reply reply{true, std::nullopt};
  if (client->send(request, answerDeadline)) reply.answer = client->readAnswer(answerDeadline);
  return reply;
}

std::optional<int> tryHandOver(Jobs::Context& context) {
  Reply reply = ask(context.locations, ControlRequest{ControlRequestKind::show, {}});
  if (!reply.running) return std::nullopt;
  if (!reply.answer) return notAnswered(context);
  if (reply.answer->failure) return failed(context, *reply.answer->failure);
  if (reply.answer->headless.value_or(false)) {
    context.out << desktop::L("cli.instance.headless",
                              "Meterwright is already running without a tray (process %d).",
                              static_cast<int>(reply.answer->pid.value_or(0)))
                << "\n";
  }
  return 0;
}

int notAnswered(Jobs::Context& context) {
  context.err << desktop::L("cli.instance.silent",
                            "meterwright: the running Meterwright did not answer")
              << "\n";
  return 1;
}

int failed(Jobs::Context& context, const ControlFailure& failure) {
  context.err << desktop::L("cli.instance.failed", "meterwright: the running Meterwright says: %@",
                            failure.message)
              << "\n";
  return 1;
}

}  // namespace meterwright::SecondInstance
