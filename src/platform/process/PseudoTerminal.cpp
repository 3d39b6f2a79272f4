#include "platform/process/PseudoTerminal.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <utility>

namespace meterwright {

namespace {

bool setCloseOnExec(int fd) {
  int flags = ::fcntl(fd, F_GETFD);
  return flags >= 0 && ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC) == 0;
}

}  // namespace

std::optional<PseudoTerminal> PseudoTerminal::open(unsigned short columns, unsigned short rows) {
  int master = -1;
  int slave = -1;
  winsize size{};
  size.ws_col = columns;
  size.ws_row = rows;
  if (::openpty(&master, &slave, nullptr, nullptr, &size) != 0) return std::nullopt;
  PseudoTerminal terminal(master, slave);
  // openpty cannot open close-on-exec; no child is started by this thread in between.
  if (!setCloseOnExec(master) || !setCloseOnExec(slave)) return std::nullopt;
  return terminal;
}

PseudoTerminal::PseudoTerminal(PseudoTerminal&& other) noexcept
    : master_(std::exchange(other.master_, -1)), slave_(std::exchange(other.slave_, -1)) {}

PseudoTerminal& PseudoTerminal::operator=(PseudoTerminal&& other) noexcept {
  if (this != &other) {
    closeMaster();
    closeSlave();
    master_ = std::exchange(other.master_, -1);
    slave_ = std::exchange(other.slave_, -1);
  }
  return *this;
}

PseudoTerminal::~PseudoTerminal() {
  closeMaster();
  closeSlave();
}

void PseudoTerminal::closeMaster() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

void PseudoTerminal::closeSlave() {
  if (slave_ >= 0) ::close(slave_);
  slave_ = -1;
}

bool PseudoTerminal::waitReadable(double seconds) const {
  if (master_ < 0) return false;
  pollfd wait{master_, POLLIN, 0};
  int milliseconds = seconds > 0 ? static_cast<int>(std::ceil(seconds * 1000)) : 0;
  int ready;
  do {
    ready = ::poll(&wait, 1, milliseconds);
  } while (ready < 0 && errno == EINTR);
  return ready > 0;
}

std::string PseudoTerminal::read(std::size_t limit) {
  if (master_ < 0 || limit == 0) return {};
  std::string bytes(limit, '\0');
  ssize_t count;
  do {
    count = ::read(master_, bytes.data(), limit);
  } while (count < 0 && errno == EINTR);
  if (count <= 0) return {};
  bytes.resize(static_cast<std::size_t>(count));
  return bytes;
}

bool PseudoTerminal::write(std::string_view bytes) {
  if (master_ < 0) return false;
  while (!bytes.empty()) {
    ssize_t count = ::write(master_, bytes.data(), bytes.size());
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
  return true;
}

}  // namespace meterwright
