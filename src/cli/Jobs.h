#pragma once

#include "cli/JobContext.h"

// The command-line jobs that draw, use the desktop session or run the application, one function
// each; each returns the process's exit status. They run in `meterwright-desktop`.
namespace meterwright::Jobs {

int makeIcon(Context& context);
int makeAppIcon(Context& context);
int testNotification(Context& context);
// The self-tests (SelfTestJobs.cpp) and the report (DiagnoseJob.cpp).
int renewClaude(Context& context);
int diagnose(Context& context);
int icloudSelftest(Context& context);
int wakeSelftest(Context& context);
int preview(Context& context);
// Shows a pairing code until a device pairs with it (PairJob.cpp).
int pair(Context& context);
// The paired devices, and revoking one, on the store alone (DevicesJob.cpp).
int devices(Context& context);
int revoke(Context& context);
// No job option: the tray application.
int application(Context& context);

}  // namespace meterwright::Jobs
