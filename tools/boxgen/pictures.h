// Pictures made by the generator: stock covers, the textures the models name, shadow pictures,
// the program's toolbar icons and banner, and colourful sample covers for demonstrations.
//
// Drawing uses Qt Gui (QImage, QPainter) with fonts loaded from explicit files; loadFonts() must
// succeed first (a QGuiApplication must exist). Writers return false with the reason in `error`.
#pragma once

#include <QImage>
#include <QString>
#include <string>

#include "geometry.h"

namespace boxgen {

// Drops Qt's notice about a missing XDG_RUNTIME_DIR, which means nothing for pictures drawn
// off screen; other messages pass through.
void quietQtNotices();

// Loads the bundled-system fonts the pictures use; false with the reason when none is found.
bool loadFonts(std::string* error);
QString fontFamily(bool bold);

bool savePng(const QImage& image, const std::string& path, std::string* error);

// The six stock covers, one per slot: 0 front, 1 back, 2 left, 3 right, 4 top, 5 bottom.
QImage stockCover(int slot, int size = 512);
extern const char* const kSlotFiles[6];

// A colourful sample cover for demonstrations (slot as above).
QImage sampleCover(int slot, int size = 512);

// Textures named by the models' materials (file name -> picture); empty image for an unknown name.
QImage materialTexture(const std::string& fileName);

// The soft contact shadow of `model` on the shadow model's floor quad.
QImage shadowPicture(const Model& model, int size = 512);

// The program's own images: index 0..5 toolbar icons, 26 the banner.
QImage toolbarIcon(int index);
QImage banner();

}  // namespace boxgen
