// The pointer's shape as the X server shows it (XFixes), for tests under Xvfb: what the user
// sees, whatever the program or the toolkit believe they set. Xlib stays in the .cpp: its macros
// (None, Bool, Status) would clash with the names of the code under test.
#pragma once

#include <cstdint>
#include <vector>

namespace kestrum::test {

struct ShownCursor {
  int width = 0, height = 0, hotX = 0, hotY = 0;
  std::vector<uint32_t> pixels;  // ARGB, top row first
  bool operator==(const ShownCursor&) const = default;
  bool empty() const { return pixels.empty(); }
};

// The cursor image the X server shows now; empty without a display or XFixes.
ShownCursor shownCursor();

}  // namespace kestrum::test
