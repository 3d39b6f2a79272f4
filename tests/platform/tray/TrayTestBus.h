#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

#include "platform/glib/MainLoopWait.h"
#include "platform/tray/TrayItem.h"
#include "support/BusClient.h"
#include "support/PrivateBus.h"
#include "support/TemporaryFolder.h"

namespace meterwright::testing {

// A private bus with a tray item on it and a host's client beside it; every report of the item
// recorded.
class TrayTestBus : public ::testing::Test {
 protected:
  void SetUp() override {
    bus.emplace(folder.path() / "bus");
    if (!bus->problem().empty()) GTEST_SKIP() << bus->problem();
    client = std::make_unique<BusClient>(bus->address());
    ASSERT_TRUE(client->ready());
  }

  TrayItem::Options optionsOnBus(double hostGraceSeconds = 3) const {
    TrayItem::Options options;
    options.environment.set("DBUS_SESSION_BUS_ADDRESS", bus->address());
    options.hostGraceSeconds = hostGraceSeconds;
    return options;
  }

  std::unique_ptr<TrayItem> makeItem(TrayItem::Options options) {
    auto item = std::make_unique<TrayItem>(std::move(options));
    item->onHostAvailabilityChanged([this](bool shown) { reports.push_back(shown); });
    item->onAction([this](TrayAction action) { actions.push_back(action); });
    return item;
  }

  // Iterates until the item has reported `count` times.
  bool waitForReports(std::size_t count) {
    return MainLoopWait::until([&] { return reports.size() >= count; }, 20);
  }

  TemporaryFolder folder;
  std::optional<PrivateBus> bus;
  std::unique_ptr<BusClient> client;
  std::vector<bool> reports;
  std::vector<TrayAction> actions;
};

}  // namespace meterwright::testing
