#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The messages of the control socket, by which other processes of the user talk to the running
// application: one JSON object a line, each with "version". A client sends one request; the
// application answers it once, and a pair request is later followed by one event.
namespace meterwright {

inline constexpr int controlProtocolVersion = 1;
// The longest line either side reads; a longer one ends the connection.
inline constexpr std::size_t controlLineLimit = 64 * 1024;

enum class ControlRequestKind { show, status, devices, revoke, pair, diagnose, wake };

struct ControlRequest {
  ControlRequestKind kind = ControlRequestKind::show;
  // revoke: the device's id, or the start of its name.
  std::string device;

  bool operator==(const ControlRequest&) const = default;
};

// Why a request was not carried out. `kind` is what callers decide by; `message` is for people.
struct ControlFailure {
  std::string kind;
  std::string message;

  bool operator==(const ControlFailure&) const = default;
};

// The failure kinds this side sends; a client meeting another shows its message.
namespace ControlFailureKind {
inline constexpr std::string_view malformed = "malformed";
inline constexpr std::string_view unsupportedVersion = "unsupportedVersion";
inline constexpr std::string_view unknownRequest = "unknownRequest";
inline constexpr std::string_view unhandled = "unhandled";
inline constexpr std::string_view noMatch = "noMatch";
inline constexpr std::string_view ambiguous = "ambiguous";
inline constexpr std::string_view notWritten = "notWritten";
inline constexpr std::string_view otherPublisher = "otherPublisher";
inline constexpr std::string_view notListening = "notListening";
}  // namespace ControlFailureKind

// A paired device as the socket carries it; dates are seconds since 1970.
struct ControlDevice {
  std::string id;
  std::string name;
  std::string platform;
  double pairedAt = 0;
  std::optional<double> lastSeenAt;

  bool operator==(const ControlDevice&) const = default;
};

// A pairing code shown by the running application's publisher.
struct ControlInvitation {
  std::string code;
  std::string link;
  int port = 0;
  std::vector<std::string> addresses;
  // Seconds since 1970.
  double expiresAt = 0;

  bool operator==(const ControlInvitation&) const = default;
};

// A route to paired devices as the running instance sees it; `reason` says why it is down.
struct ControlRoute {
  std::string name;
  bool available = false;
  std::optional<std::string> reason;

  bool operator==(const ControlRoute&) const = default;
};

// What the running instance reports for --diagnose: its tray item and its device sync.
struct ControlDiagnosis {
  // Whether a tray host shows its item (registered with a watcher that has a host).
  bool trayItemRegistered = false;
  // Whether it publishes at all: another process may hold the publisher lock.
  bool publishing = false;
  // The local-network listener listens.
  bool listening = false;
  std::optional<std::string> lastError;
  std::string deviceName;
  std::int64_t pairedDevices = 0;
  std::vector<ControlRoute> transports;
  // Routes that are not running; `available` is false in each.
  std::vector<ControlRoute> absentRoutes;

  bool operator==(const ControlDiagnosis&) const = default;
};

struct ControlAnswer {
  // Absent when the request was carried out.
  std::optional<ControlFailure> failure;
  // show and status: whether the instance runs without a tray, and its process id.
  std::optional<bool> headless;
  std::optional<std::int64_t> pid;
  // devices: every paired device; revoke: the revoked one, or the several that matched.
  std::vector<ControlDevice> devices;
  // pair: the code shown.
  std::optional<ControlInvitation> invitation;
  // diagnose.
  std::optional<ControlDiagnosis> diagnosis;

  bool ok() const { return !failure; }
  bool operator==(const ControlAnswer&) const = default;

  static ControlAnswer failed(std::string_view kind, std::string message) {
    ControlAnswer answer;
    answer.failure = ControlFailure{std::string(kind), std::move(message)};
    return answer;
  }
};

// What the running instance did for --wake-selftest: one reading and its publish, timed.
struct ControlWake {
  // The reading's providers; none when no provider answered.
  std::vector<std::string> providers;
  double readSeconds = 0;
  double totalSeconds = 0;
  // The cloud route finished writing within its wait (or has nothing to write).
  bool idle = true;
  std::int64_t pairedDevices = 0;

  bool operator==(const ControlWake&) const = default;
};

enum class ControlEventKind { paired, expired, woke };

// What follows a pair answer, once: a device paired (its name), or the code expired; and what
// follows a wake answer: the timed reading.
struct ControlEvent {
  ControlEventKind kind = ControlEventKind::expired;
  std::string name;
  // woke.
  ControlWake wake{};

  bool operator==(const ControlEvent&) const = default;
};

}  // namespace meterwright
