// The cover art slots: choosing a picture per slot, clearing them all and reloading them from
// their files. Pictures reach the models through ApplyCoverTextures (scene/scene.h).
#include <vector>

#include "shot/shot.h"
#include "state/app_state.h"
#include "texture/texture.h"
#include "toolkit/toolkit.h"
#include "ui/ids.h"
#include "ui/operations.h"
#include "ops_common.h"

void showCoverPaths() {
  for (int slot = 0; slot < kCoverSlotCount; ++slot) {
    tkSetText(kCoverSlotControls[slot].Field, App.Covers[slot].Path);
  }
}

int CoverSlotOfButton(int control) {
  for (int slot = 0; slot < kCoverSlotCount; ++slot) {
    if (kCoverSlotControls[slot].Button == control) return slot;
  }
  return -1;
}

void ChooseCoverImage(int slot) {
  if (slot < 0 || slot >= kCoverSlotCount) return;
  std::string path = tkOpenFileDialog(kCoverSlotControls[slot].DialogTitle, "*.*", kImageFilters);
  if (path.empty() || refuseUnstorablePath(path)) return;
  App.ProgressText.clear();
  // The slot's previous texture stays loaded, so picking that file again later is instant. A
  // picture that cannot be loaded leaves 0: the slot keeps its path and shows the stock picture.
  App.Covers[slot].Texture = PrepareTexture(path);
  App.Covers[slot].Path = path;
  tkSetText(kCoverSlotControls[slot].Field, path);
  CloseProgressWindow();
  ApplyCoverTextures();
}

void ClearCoverSlots() {
  App.RedrawFlag = 1;
  // ReleaseCoverTexture frees a texture shared by several slots only when the last one lets go.
  for (int slot = 0; slot < kCoverSlotCount; ++slot) {
    ReleaseCoverTexture(slot);
    App.Covers[slot].Path.clear();
  }
  showCoverPaths();
  ApplyCoverTextures();
}

void ReloadCoverTextures() {
  App.RedrawFlag = 1;
  std::vector<int> reloaded;
  for (int slot = 0; slot < kCoverSlotCount; ++slot) {
    if (App.Covers[slot].Texture != 0 && !App.Covers[slot].Path.empty()) reloaded.push_back(slot);
  }
  // Let go of every texture first: two slots sharing one picture would otherwise get the still
  // loaded texture back instead of the file read anew.
  for (int slot : reloaded) ReleaseCoverTexture(slot);
  for (int slot : reloaded) App.Covers[slot].Texture = PrepareTexture(App.Covers[slot].Path);
  ApplyCoverTextures();
  CloseProgressWindow();
}
