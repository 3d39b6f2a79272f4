#include "core/control/ControlLineBuffer.h"

namespace meterwright {

bool ControlLineBuffer::append(std::string_view bytes) {
  pending_.append(bytes);
  std::size_t newline = pending_.find('\n', scanned_);
  scanned_ = newline == std::string::npos ? pending_.size() : newline;
  // Only the first line counts: the lines behind it are taken one at a time.
  return (newline == std::string::npos ? pending_.size() : newline) <= limit_;
}

std::optional<std::string> ControlLineBuffer::nextLine() {
  std::size_t newline = pending_.find('\n');
  if (newline == std::string::npos || newline > limit_) return std::nullopt;
  std::string line = pending_.substr(0, newline);
  pending_.erase(0, newline + 1);
  scanned_ = 0;
  return line;
}

}  // namespace meterwright
