#pragma once

#include <sys/types.h>

#include <optional>

namespace meterwright {

// The process at the other end of a local socket, as the kernel saw it connect (SO_PEERCRED).
struct PeerCredential {
  pid_t pid = 0;
  uid_t uid = 0;
  gid_t gid = 0;

  bool operator==(const PeerCredential&) const = default;

  // Nothing when the socket has no peer or the kernel does not say.
  static std::optional<PeerCredential> of(int fd);

  // Only the user's own processes may talk to the application; a peer the kernel could not name
  // is refused too.
  static bool accepted(const std::optional<PeerCredential>& peer, uid_t user) {
    return peer && peer->uid == user;
  }
};

}  // namespace meterwright
