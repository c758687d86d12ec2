// The window-side hosts of the modules that have no window of their own: the viewport's pointer,
// buttons, cursor and preset list, and the texture module's progress window, both over the
// window toolkit.
//
// How calls fail: they do not. Without a main window the pointer reads (-1, -1), no button is
// down, and the other calls do nothing; a progress window that cannot be opened makes open()
// return false.
#pragma once

#include "texture/texture.h"
#include "viewport/viewport.h"

namespace kestrum {

// Installs both hosts (kestrum::setViewportHost, kestrum::setProgressWindowHost).
void installToolkitHosts();
// Removes them again, where they are still the installed ones.
void removeToolkitHosts();

ViewportHost& toolkitViewportHost();
ProgressWindowHost& toolkitProgressHost();

}  // namespace kestrum
