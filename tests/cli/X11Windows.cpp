#include "X11Windows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <optional>

namespace meterwright::testing {

namespace {

std::optional<unsigned long> pidOf(Display* display, Window window, Atom property) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, property, 0, 1, False, XA_CARDINAL, &type, &format,
                         &count, &after, &data) != Success)
    return std::nullopt;
  std::optional<unsigned long> pid;
  // 32-bit properties come back as longs.
  if (data && type == XA_CARDINAL && format == 32 && count == 1)
    pid = *reinterpret_cast<unsigned long*>(data);
  if (data) XFree(data);
  return pid;
}

std::string titleOf(Display* display, Window window) {
  Atom name = XInternAtom(display, "_NET_WM_NAME", False);
  Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::string title;
  if (XGetWindowProperty(display, window, name, 0, 1024, False, utf8, &type, &format, &count,
                         &after, &data) == Success &&
      data && type == utf8 && format == 8)
    title.assign(reinterpret_cast<char*>(data), count);
  if (data) XFree(data);
  return title;
}

}  // namespace

X11Windows::X11Windows(const std::string& display) : display_(XOpenDisplay(display.c_str())) {}

X11Windows::~X11Windows() {
  if (display_) XCloseDisplay(display_);
}

int X11Windows::shownBy(pid_t pid) const {
  return int(titlesShownBy(pid).size());
}

std::vector<std::string> X11Windows::titlesShownBy(pid_t pid) const {
  std::vector<std::string> shown;
  if (!display_) return shown;
  Atom wmPid = XInternAtom(display_, "_NET_WM_PID", False);
  Window root = DefaultRootWindow(display_), parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display_, root, &root, &parent, &children, &count)) return shown;
  for (unsigned int i = 0; i < count; ++i) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display_, children[i], &attributes)) continue;
    if (attributes.map_state != IsViewable) continue;
    if (pidOf(display_, children[i], wmPid) == static_cast<unsigned long>(pid))
      shown.push_back(titleOf(display_, children[i]));
  }
  if (children) XFree(children);
  return shown;
}

}  // namespace meterwright::testing
