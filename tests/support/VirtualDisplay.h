#pragma once

#include "platform/process/XvfbServer.h"

namespace meterwright::testing {

// An X server of the test's own.
using VirtualDisplay = XvfbServer;

}  // namespace meterwright::testing
