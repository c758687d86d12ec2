#include "shown_cursor.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

namespace kestrum::test {

ShownCursor shownCursor() {
  ShownCursor shown;
  Display* display = XOpenDisplay(nullptr);
  if (!display) return shown;
  int eventBase = 0, errorBase = 0;
  if (XFixesQueryExtension(display, &eventBase, &errorBase)) {
    if (XFixesCursorImage* image = XFixesGetCursorImage(display)) {
      shown.width = image->width;
      shown.height = image->height;
      shown.hotX = image->xhot;
      shown.hotY = image->yhot;
      for (int i = 0; i < image->width * image->height; ++i)
        shown.pixels.push_back(static_cast<uint32_t>(image->pixels[i]));
      XFree(image);
    }
  }
  XCloseDisplay(display);
  return shown;
}

}  // namespace kestrum::test
