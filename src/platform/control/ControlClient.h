#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "core/control/ControlLineBuffer.h"
#include "core/control/ControlMessage.h"
#include "core/files/FileLocations.h"

namespace meterwright {

// A command-line job's side of the control socket: it connects, sends one request and reads the
// lines that come back. Every wait has a deadline in seconds.
class ControlClient {
 public:
  // <runtime>/meterwright/control, else beside the user defaults.
  static std::filesystem::path socketPath(const FileLocations& locations);

  // Nothing when no instance listens there: no socket, a stale one, or one held by another user.
  static std::optional<ControlClient> connect(const std::filesystem::path& socket, double deadline);

  ControlClient(ControlClient&& other) noexcept;
  ControlClient& operator=(ControlClient&& other) noexcept;
  ControlClient(const ControlClient&) = delete;
  ControlClient& operator=(const ControlClient&) = delete;
  ~ControlClient();

  bool send(const ControlRequest& request, double deadline);
  // The next line, without its newline; nothing when none comes in time, the instance closes the
  // connection, or the line is too long.
  std::optional<std::string> readLine(double deadline);
  // Whether the instance has closed the connection (or sent a line too long to take): no line
  // will come any more.
  bool ended() const { return ended_; }
  // The next line decoded as an answer.
  std::optional<ControlAnswer> readAnswer(double deadline);

  // For a caller that waits on other things too: readable when a line may have come.
  int fd() const { return fd_; }

 private:
  explicit ControlClient(int fd) : fd_(fd) {}

  int fd_ = -1;
  bool ended_ = false;
  ControlLineBuffer buffer_;
};

}  // namespace meterwright
