#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

typedef struct _XDisplay Display;

namespace meterwright::testing {

// What the end-to-end tests ask an X server about another process's windows, over one connection
// held for the test's life: the virtual display ends when its last client leaves. Kept out of the
// tests themselves, where Xlib's macros would clash with GoogleTest's names.
class X11Windows {
 public:
  explicit X11Windows(const std::string& display);
  ~X11Windows();
  X11Windows(const X11Windows&) = delete;
  X11Windows& operator=(const X11Windows&) = delete;

  bool connected() const { return display_ != nullptr; }
  // How many top-level windows are shown (viewable) and say they belong to process `pid`
  // (_NET_WM_PID).
  int shownBy(pid_t pid) const;
  // Their titles (_NET_WM_NAME).
  std::vector<std::string> titlesShownBy(pid_t pid) const;

 private:
  Display* display_ = nullptr;
};

}  // namespace meterwright::testing
