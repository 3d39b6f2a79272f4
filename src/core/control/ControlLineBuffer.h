#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/control/ControlMessage.h"

namespace meterwright {

// Bytes read from a control connection, cut into lines. A line that grows past the limit before
// its newline arrives makes the buffer refuse: the connection is then closed, so a client cannot
// make the other side hold more than the limit.
class ControlLineBuffer {
 public:
  explicit ControlLineBuffer(std::size_t limit = controlLineLimit) : limit_(limit) {}

  // False once the line being read is longer than the limit.
  bool append(std::string_view bytes);
  // The next whole line, without its newline.
  std::optional<std::string> nextLine();

 private:
  std::string pending_;
  // Where the search for the next newline goes on.
  std::size_t scanned_ = 0;
  std::size_t limit_;
};

}  // namespace meterwright
