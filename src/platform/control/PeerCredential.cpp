#include "platform/control/PeerCredential.h"

#include <sys/socket.h>

namespace meterwright {

std::optional<PeerCredential> PeerCredential::of(int fd) {
  ucred credential{};
  socklen_t size = sizeof credential;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credential, &size) != 0 ||
      size != sizeof credential)
    return std::nullopt;
  return PeerCredential{credential.pid, credential.uid, credential.gid};
}

}  // namespace meterwright
