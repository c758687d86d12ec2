// The user manual, help/manual.html, and the pictures it shows.
#pragma once

#include <string>
#include <vector>

namespace boxgen {

// The manual's HTML; pictures are referred to as images/<file name>.
std::string manualHtml();
// Source-tree paths of the pictures the manual shows (copied into help/images/).
std::vector<std::string> manualPictures();
// The program image file of a style's thumbnail, e.g. "06_thumb_style01.png".
std::string thumbnailFile(int style);
// Embedded-image index (6..25) of a style's thumbnail.
int thumbnailIndex(int style);

}  // namespace boxgen
