// Pictures decoded once and shown by image buttons and image controls, addressed by handle.
#include "toolkit/toolkit.h"

#include <string>
#include <utility>

#include <QImage>

#include "toolkit_qt.h"
#include "toolkit_state.h"

using namespace tkstate;

// --- Images ----------------------------------------------------------------------------------
static TkImage keepImage(QImage decoded, const std::string& what) {
  if (decoded.isNull()) {
    fail("cannot decode the picture " + what);
    return 0;
  }
  State& s = state();
  TkImage handle = s.nextImage++;
  s.images[handle] = std::move(decoded);
  return handle;
}

TkImage tkCatchImage(const void* data, size_t size) {
  if (!data || size == 0 || size > (size_t{1} << 30)) {
    fail("no picture data");
    return 0;
  }
  QImage decoded;
  decoded.loadFromData(static_cast<const uchar*>(data), static_cast<int>(size));
  return keepImage(std::move(decoded), "held in memory");
}

TkImage tkLoadImage(const std::string& path) {
  QImage decoded(tkqt::toQString(path));
  return keepImage(std::move(decoded), "\"" + path + "\"");
}

bool tkImageSize(TkImage handle, int* width, int* height) {
  const QImage* img = image(handle);
  if (width) *width = img ? img->width() : 0;
  if (height) *height = img ? img->height() : 0;
  return img != nullptr;
}

void tkFreeImage(TkImage handle) {
  state().images.erase(handle);
}
