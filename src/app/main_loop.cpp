// The main loop and its two dispatch tables: every menu item and control of the main window
// mapped to the operation it stands for.
#include "app/app.h"
#include "state/app_state.h"
#include "toolkit/toolkit.h"
#include "ui/ids.h"
#include "ui/operations.h"
#include "viewport/viewport.h"

namespace {

enum class Dispatch { Continue, ExitNow };

Dispatch dispatchMenu(int item) {
  switch (item) {
    case kMenuNew:
      NewSession();
      break;
    case kMenuOpen:
      OpenSession();
      break;
    case kMenuSave:
      SaveSession(false);
      break;
    case kMenuSaveAs:
      SaveSession(true);
      break;
    case kMenuExit:
      return Dispatch::ExitNow;
    case kMenuBoxStyles:
      tkSetState(kSidePanel, kPageBoxStyles);
      break;
    case kMenuCoverArt:
      tkSetState(kSidePanel, kPageCoverArt);
      break;
    case kMenuRenderSettings:
      tkSetState(kSidePanel, kPageRenderSettings);
      break;
    case kMenuOptimizeTextures:
      OnOptimizeMenu();
      break;
    case kMenuFilterNone:
    case kMenuFilterBilinear:
    case kMenuFilterTrilinear:
    case kMenuFilterAnisotropic:
      OnFilterMenu(item);
      break;
    case kMenuAntiAlias:
      OnAntiAliasMenu();
      break;
    case kMenuShadows:
      OnShadowsMenu();
      break;
    case kMenuWhite:
    case kMenuBlack:
      OnBackgroundMenu(item);
      break;
    case kMenuHelp:
      OpenManual();
      break;
    case kMenuAbout:
      ShowAbout();
      break;
    default:
      break;
  }
  return Dispatch::Continue;
}

void dispatchControl(int control, TkControlEvent type) {
  if (control >= kFirstStyleButton && control <= kLastStyleButton) {
    SelectBoxStyle(control - kFirstStyleButton + 1);
    return;
  }
  if (int slot = CoverSlotOfButton(control); slot >= 0) {
    ChooseCoverImage(slot);
    return;
  }
  switch (control) {
    case kToolNew:
      NewSession();
      break;
    case kToolOpen:
      OpenSession();
      break;
    case kToolSave:
      SaveSession(false);
      break;
    case kToolReload:
      ReloadCoverTextures();
      break;
    case kToolRender:
      RenderImage();
      break;
    case kToolHelp:
      OpenManual();
      break;
    case kViewContainer:
      // The view gives the keyboard back to the side panel; clicks on it do nothing here.
      if (type == TkControlEvent::LostFocus) tkSetFocus(kSidePanel);
      break;
    case kRenderButton:
      RenderImage();
      break;
    case kSetCameraButton:
      ApplyCameraPreset(true);
      break;
    case kPresetList:
      ApplyCameraPreset(false);
      break;
    case kOutputPathButton:
      ChooseOutputImage();
      break;
    case kWidthField:
    case kHeightField:
      ClampOutputSize(control);
      break;
    case kFilterList:
      OnFilterListChanged();
      break;
    case kAntiAliasCheck:
      OnAntiAliasCheck();
      break;
    case kShadowsCheck:
      OnShadowsCheck();
      break;
    case kOptimizeCheck:
      OnOptimizeCheck();
      break;
    case kWhiteRadio:
    case kBlackRadio:
      OnBackgroundRadio(control);
      break;
    case kAngleScroll:
      OnLightAngleScroll();
      break;
    case kRangeScroll:
      OnLightRangeScroll();
      break;
    case kAmbientScroll:
      OnAmbientScroll();
      break;
    case kDefaultsButton:
      OnDefaultsButton();
      break;
    case kReloadAllButton:
      ReloadCoverTextures();
      break;
    case kClearButton:
      ClearCoverSlots();
      break;
    default:
      break;  // the side panel, the path fields and the rest report nothing we act on
  }
}

}  // namespace

bool MainLoopPass() {
  NavigateView();
  if (App.RedrawFlag == 1 && App.FrameHoverFlag == 0) {
    DrawFrame();
    App.RedrawFlag = 0;
  }
  TkEvent event = App.PollEvents == 1 ? tkPollEvent() : tkWaitEvent();
  switch (event.kind) {
    case TkEventKind::FrameHover:
      App.FrameHoverFlag = 1;
      break;
    case TkEventKind::Menu:
      App.FrameHoverFlag = 0;
      if (dispatchMenu(event.id) == Dispatch::ExitNow) return false;
      break;
    case TkEventKind::Control:
      App.FrameHoverFlag = 0;
      dispatchControl(event.id, event.type);
      break;
    case TkEventKind::Close:
      return false;
    case TkEventKind::Input:  // only wakes the loop for a navigation step
    case TkEventKind::None:
      break;
  }
  return true;
}

void MainLoop() {
  while (MainLoopPass()) {
  }
}
