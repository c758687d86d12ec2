// The pictures the program carries inside itself (toolbar icons, box style thumbnails, the
// banner), compiled in as PNG files and decoded at start-up.
//
// How calls fail: a picture that cannot be decoded leaves image 0 in its place, which shows
// nothing where it is used; the rest are still decoded.
#pragma once

#include <string>
#include <vector>

// The resource paths of the embedded pictures, in index order (27 of them).
const std::vector<std::string>& EmbeddedImagePaths();
// Decodes them into App.EmbeddedImages[0..26] with the toolkit. The number decoded.
int DecodeEmbeddedImages();
