// Textures: turning a picture file into an engine texture, shared by path, and resampled to a
// power-of-two square (8 to 4096 a side) when App.OptimizeTextures is on, with a small progress
// window shown meanwhile.
//
// How calls fail: PrepareTexture returns 0 when no texture can be made (missing or unreadable
// file) and shows no message; when a resize cannot be done it hands back the texture at its own
// size. The progress window is reached through a ProgressWindowHost that the program installs;
// without one the window "fails to open": App.ProgressShown is still set and updates do
// nothing. Nothing here throws. This module does not depend on any window toolkit.
#pragma once

#include <string>

#include "engine/engine.h"

// The texture made from the picture at `path` (absolute, or relative to the working directory).
// A path already loaded, or whose resized copy is still loaded, gives back the same handle.
EngineHandle PrepareTexture(const std::string& path);

// Opens the progress window with `title` unless it is open already (App.ProgressShown).
void OpenProgressWindow(const std::string& title);
// Sets the bar's maximum and position and the label. A value of -1 advances App.ProgressValue by
// 10, wrapping to 0 past the maximum. Does nothing while no window exists.
void UpdateProgressWindow(int value, int maximum, const std::string& text);
// Closes the progress window if App.ProgressShown is set, and clears it.
void CloseProgressWindow();

namespace kestrum {

// The window behind OpenProgressWindow and friends, supplied by the program that has a screen.
class ProgressWindowHost {
 public:
  virtual ~ProgressWindowHost() = default;
  // Opens a window whose client area is 272 x 53 pixels, centred on the screen, with a title bar
  // carrying `title` and a system menu and a sizable frame; in it a continuous progress bar
  // (control 76) at x 5, y 30, 260 x 15, and an empty label (control 77) at x 5, y 10, 260 x 20.
  // False when no window could be opened.
  virtual bool open(const std::string& title) = 0;
  virtual void setMaximum(int maximum) = 0;
  virtual void setValue(int value) = 0;
  virtual void setText(const std::string& text) = 0;
  // Puts the window above all other windows; `activate` also makes it the active window.
  virtual void raise(bool activate) = 0;
  virtual void close() = 0;
};

// Installs the progress window host; null removes it. The caller keeps ownership and must keep
// the host alive while it is installed.
void setProgressWindowHost(ProgressWindowHost* host);
ProgressWindowHost* progressWindowHost();

// A host for programs without a screen: each update of the window prints one line
// "title: text value/maximum" to stderr.
class StderrProgressHost : public ProgressWindowHost {
 public:
  bool open(const std::string& title) override;
  void setMaximum(int maximum) override;
  void setValue(int value) override;
  void setText(const std::string& text) override;
  void raise(bool activate) override;
  void close() override;

 private:
  std::string title_;
  std::string text_;
  int maximum_ = 100;
  int value_ = 0;
};

// The side of the square a picture whose larger side is `largerSide` is resampled to: the next
// power of two from 8 up, except that 513 to 640 go down to 512 and anything above 2048 is 4096.
int textureTargetSide(int largerSide);

// True for a square whose side is a power of two from 8 to 4096: used as it is.
bool isTextureSizeKept(int width, int height);

// The folder that holds the temporary copies of a resize: App.ProfileFolder, or "/tmp/" when
// that is empty. Ends in "/".
std::string textureTempFolder();

// "temp_" + 16 hex digits of a hash of `path` exactly as given + "_" + the file name part of
// `path` (after its last "/" or "\"): a valid file name for bare names, relative and absolute
// paths alike, always the same for the same path and different for different paths.
std::string temporaryImageName(const std::string& path);
// The intermediate copy (textureTempFolder() + temporaryImageName(path)) and the resized copy
// (the intermediate copy's name + ".png").
std::string intermediateCopyPath(const std::string& path);
std::string resizedCopyPath(const std::string& path);

}  // namespace kestrum
