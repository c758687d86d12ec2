// The box styles: what each style is called, which file it lives in, which covers it shows,
// and the builders of its model (and of the floor-shadow model).
#pragma once

#include <string>
#include <vector>

#include "geometry.h"

namespace boxgen {

struct StyleInfo {
  int style;                        // 1..20
  const char* file;                 // model file name in bin/
  const char* caption;              // the style's name as the program shows it
  std::vector<std::string> covers;  // cover texture names the model binds
};

const std::vector<StyleInfo>& styleTable();

// Builds style 1..20 in scene units: standing on y = 0, centred on the vertical axis, front
// towards -z, scaled to fill the preview at the home view.
Model buildStyle(int style);
// The floor quad that carries the shadow pictures; half size in its own units.
Model buildShadowModel();
inline constexpr double kShadowHalf = 4.0;
inline constexpr double kShadowScale = 1.2;  // the program scales the shadow model by this

// Projects a point of a model, turned 40 degrees as at start-up, into the 335 x 350 preview at
// the home view; returns false behind the camera.
bool projectHome(Vec3 p, double* px, double* py);

// The texture files that materials of the models name, besides the six stock covers.
struct MaterialDef {
  const char* name;
  const char* layer0;
  const char* layer1;  // nullptr: none
  int layer0Flags;     // above 63: sphere map
  int blendMode;
  int effectFlags;
};
const std::vector<MaterialDef>& materialTable();

}  // namespace boxgen
