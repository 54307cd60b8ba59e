// CNoticeWindow: one X window and one line of text, redrawn on every expose.
#include "ui/lv2/notice_window.h"

#include <X11/Xlib.h>

#include <cstring>

CNoticeWindow::~CNoticeWindow() {
  if (display == nullptr) return;
  XDestroyWindow(display, window);
  XCloseDisplay(display);
}

std::uintptr_t CNoticeWindow::Open(std::uintptr_t parent) {
  display = XOpenDisplay(nullptr);
  if (display == nullptr) return 0;
  const int screen = DefaultScreen(display);
  const Window under = parent != 0 ? static_cast<Window>(parent) : RootWindow(display, screen);
  window = XCreateSimpleWindow(display, under, 0, 0, kWidth, kHeight, 0, BlackPixel(display, screen),
                               WhitePixel(display, screen));
  XSelectInput(display, window, ExposureMask);
  XMapWindow(display, window);
  XFlush(display);
  return static_cast<std::uintptr_t>(window);
}

void CNoticeWindow::Idle() {
  while (display != nullptr && XPending(display) > 0) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == Expose && event.xexpose.count == 0) {
      XDrawString(display, window, DefaultGC(display, DefaultScreen(display)), 10, 24, kText,
                  static_cast<int>(std::strlen(kText)));
      XFlush(display);
    }
  }
}
