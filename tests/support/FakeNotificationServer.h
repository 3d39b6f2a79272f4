#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace meterwright::testing {

// One Notify call as the server received it; hints as GVariant text ("true", "'name'").
struct NotifyCall {
  std::string appName;
  std::uint32_t replacesId = 0;
  std::string icon;
  std::string title;
  std::string body;
  std::vector<std::string> actions;
  std::map<std::string, std::string> hints;
  std::int32_t expireTimeout = 0;

  bool operator==(const NotifyCall&) const = default;
};

// An org.freedesktop.Notifications server on a test's bus, in this process: its calls are
// handled while the test iterates the thread-default main context, and every Notify is recorded.
class FakeNotificationServer {
 public:
  enum class Behaviour {
    answer,
    // Keeps every call without replying.
    silent,
    // Replies to Notify with an error.
    refuse,
    // Leaves the bus when Notify arrives, without replying.
    vanish,
  };

  FakeNotificationServer(const std::string& busAddress, std::vector<std::string> capabilities,
                         Behaviour behaviour = Behaviour::answer);
  ~FakeNotificationServer();

  // Whether it owns the name; false when the bus could not be reached.
  bool ready() const;
  const std::vector<NotifyCall>& calls() const;
  int serverInformationRequests() const;
  // Notify ids handed out, in order.
  const std::vector<std::uint32_t>& ids() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace meterwright::testing
