#include "cli/Jobs.h"

#include <filesystem>
#include <ostream>

#include "cli/HelpText.h"
#include "core/config/ConfigStore.h"
#include "desktop/text/DesktopText.h"

namespace meterwright::Jobs {

namespace {

int notBuiltYet(Context& context, const char* option) {
  context.err << desktop::L("cli.notBuilt", "meterwright: %@ is not built yet", option) << "\n";
  return notBuiltStatus;
}

}  // namespace

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
  return notBuiltYet(context, "--print");
}
int json(Context& context) {
  return notBuiltYet(context, "--json");
}
int makeIcon(Context& context) {
  return notBuiltYet(context, "--make-icon");
}
int makeAppIcon(Context& context) {
  return notBuiltYet(context, "--make-app-icon");
}
int testNotification(Context& context) {
  return notBuiltYet(context, "--test-notification");
}
int renewClaude(Context& context) {
  return notBuiltYet(context, "--renew-claude");
}
int diagnose(Context& context) {
  return notBuiltYet(context, "--diagnose");
}
int icloudSelftest(Context& context) {
  return notBuiltYet(context, "--icloud-selftest");
}
int wakeSelftest(Context& context) {
  return notBuiltYet(context, "--wake-selftest");
}
int preview(Context& context) {
  return notBuiltYet(context, "--preview");
}

int application(Context& context) {
  context.err << desktop::L("cli.applicationNotBuilt",
                            "meterwright: the tray application is not built yet")
              << "\n";
  return notBuiltStatus;
}

}  // namespace meterwright::Jobs
