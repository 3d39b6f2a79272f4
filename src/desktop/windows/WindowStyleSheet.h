#pragma once

typedef struct _GtkCssProvider GtkCssProvider;

namespace meterwright {

// The windows' shared style sheet (WindowStyle) on the display for as long as a window lives, in
// one appearance. The toolkit's own colours (background, buttons) follow the same appearance.
class WindowStyleSheet {
 public:
  explicit WindowStyleSheet(bool dark);
  ~WindowStyleSheet();
  WindowStyleSheet(const WindowStyleSheet&) = delete;
  WindowStyleSheet& operator=(const WindowStyleSheet&) = delete;

  void setDark(bool dark);

 private:
  GtkCssProvider* provider_;
};

}  // namespace meterwright
