// What kilnshot refuses before it draws, and the camera presets its options name.
#include <cctype>
#include <cmath>
#include <cstdio>

#include "kilnshot/kilnshot.h"
#include "state/app_state.h"
#include "viewport/viewport.h"

namespace kestrum {
namespace {

std::string squeezed(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' || c == '-' || c == '_') continue;
    out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

}  // namespace

int cameraPresetFromText(const std::string& text) {
  if (text.size() == 1 && text[0] >= '0' && text[0] <= '9') return text[0] - '0';
  std::string wanted = squeezed(text);
  if (wanted.empty()) return -1;
  if (wanted == "default" || wanted == "cameradefault") return 0;
  for (int i = 1; i < kCameraPresetCount; ++i) {
    if (squeezed(CameraPresetTable[i].Text) == wanted) return i;
  }
  return -1;
}

std::string checkRenderRecord(const SessionRecord& r) {
  char text[160];
  if (!IsBoxStyle(r.Style)) {
    std::snprintf(text, sizeof text, "box style %d is not one of the styles 1 to %d", r.Style,
                  kBoxStyleCount);
    return text;
  }
  if (r.OutputWidth < 1 || r.OutputWidth > kMaxImageSide || r.OutputHeight < 1 ||
      r.OutputHeight > kMaxImageSide) {
    std::snprintf(text, sizeof text, "picture size %d x %d is outside 1 to %d pixels a side",
                  r.OutputWidth, r.OutputHeight, kMaxImageSide);
    return text;
  }
  if (r.FilterType < 0 || r.FilterType > 3) {
    std::snprintf(text, sizeof text, "texture filter %d is not one of 0 to 3", r.FilterType);
    return text;
  }
  for (float v :
       {r.PivotRotationX, r.PivotRotationY, r.CameraX, r.CameraY, r.CameraZ, r.LightRange}) {
    if (!std::isfinite(v)) return "the camera or light holds a number that is not finite";
  }
  return {};
}

}  // namespace kestrum
