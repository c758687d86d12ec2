#include "manual.h"

#include <cstdio>

#include "styles.h"

namespace boxgen {

namespace {

// Style button of each thumbnail image, from image 6 on (button 54 + s shows style s).
constexpr int kThumbButtons[20] = {55, 56, 57, 58, 59, 60, 65, 70, 61, 62,
                                   63, 64, 66, 67, 68, 69, 71, 72, 73, 74};

// The one-line descriptions the program shows for each style.
const char* const kDescriptions[20] = {
    "Wide bound hardback book with front, spine and back covers.",
    "Narrow bound hardback book with front, spine and back covers.",
    "Large indented modern-style box with front, left and back covers.",
    "Large indented VHS-style box with front, left and back covers.",
    "Large coated-cardboard box covered on all sides.",
    "Narrow coated-carboard box covered on all sides.",
    "Business card with front and back sides and slightly rounded corners.",
    "Business card with front and back sides and very rounded corners.",
    "Slim DVD case with front, left and back covers.",
    "Slim DVD case opened with front, left and back covers.",
    "Wide DVD case opened with 2 discs. Front, left and back covers.",
    "Wide DVD case opened with 3 discs. Front, left and back covers.",
    "Slimline Jewel CD case with front and back covers.",
    "Slimline Jewel CD case with disc. Front and back covers.",
    "Slimline Jewel CD case with disc out. Front and back covers.",
    "Flat 3D Screenshot at 4:3 apsect ratio. Front-side only.",
    "Curved 3D Screenshot at 4:3 apsect ratio. Front-side only.",
    "Pinched 3D Screenshot at 4:3 apsect ratio. Front-side only.",
    "Rippled 3D Screenshot at 4:3 apsect ratio. Front-side only.",
    "Single disc without box.",
};

std::string coverList(const StyleInfo& info) {
  static const char* const names[6][2] = {{"front.png", "Front"},       {"back.png", "Back"},
                                          {"left.png", "Left (spine)"}, {"right.png", "Right"},
                                          {"top.png", "Top"},           {"bottom.png", "Bottom"}};
  std::string out;
  for (const auto& n : names) {
    for (const auto& c : info.covers) {
      if (c != n[0]) continue;
      if (!out.empty()) out += ", ";
      out += n[1];
    }
  }
  return out;
}

}  // namespace

int thumbnailIndex(int style) {
  for (int k = 0; k < 20; ++k) {
    if (kThumbButtons[k] == 54 + style) return 6 + k;
  }
  return -1;
}

std::string thumbnailFile(int style) {
  char name[40];
  std::snprintf(name, sizeof name, "%02d_thumb_style%02d.png", thumbnailIndex(style), style);
  return name;
}

std::vector<std::string> manualPictures() {
  std::vector<std::string> files = {"assets/images/00_new.png",      "assets/images/01_open.png",
                                    "assets/images/02_save.png",     "assets/images/03_reload.png",
                                    "assets/images/04_render.png",   "assets/images/05_help.png",
                                    "assets/images/26_banner.png",   "docs/contact_sheet_stock.png",
                                    "docs/contact_sheet_samples.png"};
  for (int s = 1; s <= 20; ++s) files.push_back("assets/images/" + thumbnailFile(s));
  return files;
}

std::string manualHtml() {
  std::string h;
  h += R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Tallowmere Kestrum - User Manual</title>
<style>
body { font-family: "DejaVu Sans", Verdana, sans-serif; max-width: 860px; margin: 24px auto;
       padding: 0 16px; color: #222; line-height: 1.5; }
h1, h2, h3 { color: #1c2842; }
h2 { border-bottom: 2px solid #c8d2e4; padding-bottom: 4px; margin-top: 36px; }
code, kbd { background: #eef1f6; padding: 1px 4px; border-radius: 3px; }
table { border-collapse: collapse; margin: 12px 0; }
td, th { border: 1px solid #c8d2e4; padding: 4px 8px; vertical-align: middle; text-align: left; }
th { background: #eef1f6; }
.styles td img { width: 50px; height: 50px; }
.icon { vertical-align: middle; width: 24px; height: 24px; }
.sheet { max-width: 100%; border: 1px solid #c8d2e4; }
.note { background: #fff8e0; border-left: 4px solid #e8c050; padding: 6px 12px; }
nav ol { columns: 2; }
</style>
</head>
<body>
<p><img src="images/26_banner.png" alt="Tallowmere Kestrum" width="385" height="34"></p>
<h1>Kestrum User Manual</h1>
<p>Kestrum turns flat cover artwork into a 3D product shot of its packaging. Pick a box style,
give it your cover pictures, turn the model until the view is right, and let Kestrum render the
final image at the size you need.</p>

<nav><h3>Contents</h3><ol>
<li><a href="#start">Getting started</a></li>
<li><a href="#window">The main window</a></li>
<li><a href="#styles">Box styles</a></li>
<li><a href="#covers">Cover art</a></li>
<li><a href="#view">Navigating the view</a></li>
<li><a href="#settings">Render settings</a></li>
<li><a href="#sessions">Sessions</a></li>
<li><a href="#render">Rendering the final image</a></li>
<li><a href="#trouble">Troubleshooting</a></li>
</ol></nav>

<h2 id="start">1. Getting started</h2>
<ol>
<li>Start Kestrum from its own folder: it finds its models and pictures in the <code>bin</code>
folder and this manual in the <code>help</code> folder of the folder it was started from.</li>
<li>On the <b>Box Styles</b> page, click the style you want. The preview shows the model at
once, with placeholder covers that name their side (FRONT, BACK, SPINE / LEFT, ...).</li>
<li>On the <b>Cover Art</b> page, press <kbd>&gt;&gt;</kbd> beside <b>Front</b> and choose your
front picture. Do the same for the other sides the style shows.</li>
<li>Drag over the preview to turn the model; drag with the right mouse button to zoom.</li>
<li>On the <b>Render Settings</b> page, press <kbd>&gt;&gt;</kbd> under <b>Output Image</b> to
choose where the picture is saved, and set its <b>Width</b> and <b>Height</b>.</li>
<li>Press <b>Render Image</b>. The final picture is written to the file you chose.</li>
</ol>

<h2 id="window">2. The main window</h2>
<p>The window has a toolbar across the top, the <b>Preview</b> on the left and a side panel with
three pages on the right: <b>Box Styles</b>, <b>Cover Art</b> and <b>Render Settings</b> (also
reached from the <b>Settings</b> menu). The toolbar buttons are:</p>
<table>
<tr><th></th><th>Button</th><th>What it does</th></tr>
<tr><td><img class="icon" src="images/00_new.png" alt=""></td><td>New Session</td><td>Clear all the current settings and begin a new session from scratch (also <b>File &gt; New</b>).</td></tr>
<tr><td><img class="icon" src="images/01_open.png" alt=""></td><td>Open Session</td><td>Open a previous session from file (also <b>File &gt; Open..</b>).</td></tr>
<tr><td><img class="icon" src="images/02_save.png" alt=""></td><td>Save Session</td><td>Save the current session to file (also <b>File &gt; Save</b>).</td></tr>
<tr><td><img class="icon" src="images/03_reload.png" alt=""></td><td>Reload Textures</td><td>Reloads all cover-art textures. Useful after editing a picture in another program.</td></tr>
<tr><td><img class="icon" src="images/04_render.png" alt=""></td><td>Render Image</td><td>Create the final image and save it to disk.</td></tr>
<tr><td><img class="icon" src="images/05_help.png" alt=""></td><td>Help</td><td>Open this manual (also <b>Help &gt; Help</b>).</td></tr>
</table>
<p>The status bar shows which renderer draws the preview, for example "Using OpenGL".</p>

<h2 id="styles">3. Box styles</h2>
<p>The <b>Box Styles</b> page holds twenty styles. Click one to show it; the line under the
buttons describes the chosen style. The covers a style shows are listed below; the
<b>spine</b> of books, boxes and DVD cases is the <b>Left</b> cover. Your cover pictures stay
when you switch styles, so you can try the same artwork on several packages.</p>
<table class="styles">
<tr><th>Button</th><th>Style</th><th>Description</th><th>Covers shown</th></tr>
)";
  for (const auto& info : styleTable()) {
    char row[1024];
    std::snprintf(row, sizeof row,
                  "<tr><td><img src=\"images/%s\" alt=\"\"></td><td><b>%s</b></td><td>%s</td>"
                  "<td>%s</td></tr>\n",
                  thumbnailFile(info.style).c_str(), info.caption, kDescriptions[info.style - 1],
                  coverList(info).c_str());
    h += row;
  }
  h += R"(</table>
<p>All twenty styles with the placeholder covers, and with a set of sample covers:</p>
<p><img class="sheet" src="images/contact_sheet_stock.png" alt="All styles with the placeholder covers"></p>
<p><img class="sheet" src="images/contact_sheet_samples.png" alt="All styles with sample covers"></p>

<h2 id="covers">4. Cover art</h2>
<p>The <b>Cover Art</b> page has one row per side: <b>Front</b>, <b>Left</b>, <b>Top</b>,
<b>Back</b>, <b>Right</b> and <b>Bottom</b>. Press <kbd>&gt;&gt;</kbd> at the end of a row to
choose a PNG, JPEG or BMP picture for that side; the field shows the chosen file. A side
without a picture shows its placeholder.</p>
<ul>
<li>Each picture covers its whole face, upright as you see it in your picture viewer. Make
pictures in the proportions of the face (for example a DVD front is about 135 &times; 190) so
nothing looks stretched.</li>
<li>The Left picture is the spine. It is seen with the front of the box on its right, so its
top is the top of the box.</li>
<li><b>Optimize Non-Power2 Textures</b>: some video cards cannot handle pictures whose sides
are not powers of two (256, 512, 1024, ...). With this option on, Kestrum resizes such pictures
while they load, which shows a small progress window and takes a moment; the picture files
themselves are never changed.</li>
<li><b>Reload All</b> reads every chosen picture again, after you have edited it in another
program. Choosing the same file again does not re-read it; use Reload All.</li>
<li><b>Clear</b> empties all six rows and puts the placeholders back.</li>
</ul>

<h2 id="view">5. Navigating the view</h2>
<ul>
<li><b>Turn</b>: hold the left mouse button over the preview and drag. Left and right turn the
model around, up and down tilt the view.</li>
<li><b>Zoom</b>: hold the right mouse button and drag down to come closer, up to move away.</li>
<li><b>Camera presets</b>: the list under the preview offers <b>&lt;Camera Default&gt;</b>,
<b>Top Left</b>, <b>Top Center</b>, <b>Top Right</b>, <b>Middle Left</b>, <b>Middle Center</b>,
<b>Middle Right</b>, <b>Bottom Left</b>, <b>Bottom Center</b> and <b>Bottom Right</b>. Choosing
one moves the camera there; <b>Set Camera</b> applies the chosen preset again, which also undoes
any zooming and turning.</li>
</ul>
<p class="note">If the preview does not react after you moved the mouse over the menu or the
window frame, click once on the preview: navigation starts again from there.</p>

<h2 id="settings">6. Render settings</h2>
<table>
<tr><th>Setting</th><th>What it does</th></tr>
<tr><td><b>Output Image</b></td><td>The file the final render is saved to (<kbd>&gt;&gt;</kbd> opens "Save Image As.."), and its <b>Width</b> and <b>Height</b> in pixels. The size cannot exceed your screen's size.</td></tr>
<tr><td><b>Filter Type</b></td><td>How pictures are smoothed on the model: None, Bilinear (low quality), Trilinear (medium quality) or Anisotropic (high quality). Anisotropic keeps covers sharp when seen at an angle. Also in <b>Settings &gt; Filter Type</b>.</td></tr>
<tr><td><b>Enable Anti-Aliasing (final render)</b></td><td>Smooth edges in the final image. The preview is not affected.</td></tr>
<tr><td><b>Enable Shadows</b></td><td>A soft shadow under the model. Shadows are shown on the white background only.</td></tr>
<tr><td><b>White Background</b> / <b>Black Background</b></td><td>The colour behind the model, in the preview and in the final image.</td></tr>
<tr><td><b>Ambient Light</b></td><td>How bright the faces turned away from the light are.</td></tr>
<tr><td><b>Angle</b></td><td>Turns the light around the model (0 to 359 degrees).</td></tr>
<tr><td><b>Range</b></td><td>How far the light reaches; lower values give a darker, moodier shot.</td></tr>
<tr><td><b>Defaults</b></td><td>Puts every render setting back to its default and empties the output path.</td></tr>
</table>

<h2 id="sessions">7. Sessions</h2>
<p>A session keeps everything you set up: the box style, the six cover pictures, the view, the
light and the render settings. <b>File &gt; Save</b> saves it (the first time it asks for a
name), <b>File &gt; Save As..</b> always asks, and <b>File &gt; Open..</b> opens a saved session
(<code>.ksm</code> files). The window title shows the session's file name.
<b>File &gt; New</b> starts again from scratch: the Curved Box, no covers, the default view and
settings.</p>
<p class="note">A session stores the paths of your pictures, not the pictures themselves. Keep
the pictures where they are, or the session opens with placeholders in their place.</p>

<h2 id="render">8. Rendering the final image</h2>
<p>Press <b>Render Image</b> under the preview or on the toolbar. Kestrum hands the scene to
its renderer (kilnshot, in Kestrum's own folder), which draws it at the chosen width and
height and saves it to the output file: PNG, JPEG or BMP, by the file's ending. Kestrum waits
until the renderer has finished. The final image shows exactly what the preview shows,
at full size, with anti-aliasing when it is on.</p>
<p>The renderer also works on its own, for example to render saved sessions in batch:
<code>kilnshot JOB.ksm -o OUT.png --size 1600x1672</code>.</p>

<h2 id="trouble">9. Troubleshooting</h2>
<dl>
<dt><b>The preview is empty or the models are missing.</b></dt>
<dd>Start Kestrum from the folder that holds its <code>bin</code> folder; it looks for its
files relative to the folder it was started from.</dd>
<dt><b>A cover shows the placeholder although I chose a picture.</b></dt>
<dd>The picture could not be read (missing, damaged or not a PNG, JPEG or BMP file). The field
still shows its path; fix the file and choose it again.</dd>
<dt><b>My picture does not change after I edited it.</b></dt>
<dd>Press <b>Reload All</b> (or the Reload Textures toolbar button).</dd>
<dt><b>Covers look blurred or blocky.</b></dt>
<dd>Choose Anisotropic (high quality) as the filter type, and use pictures of at least
512 &times; 512 pixels.</dd>
<dt><b>Loading pictures is slow.</b></dt>
<dd>With <b>Optimize Non-Power2 Textures</b> on, every picture whose sides are not powers of
two is resized while it loads. Save your pictures at 512, 1024 or 2048 pixels a side, or turn
the option off if your video card handles other sizes.</dd>
<dt><b>There is no shadow.</b></dt>
<dd>Shadows need <b>Enable Shadows</b> and the white background.</dd>
<dt><b>"There was a problem saving your current setttings."</b></dt>
<dd>Kestrum could not write its hand-off file to your home folder. Check that the folder exists
and is writable and that the disk is not full.</dd>
<dt><b>The render produced no file.</b></dt>
<dd>Check that an output path is set on the Render Settings page and that its folder can be
written to.</dd>
</dl>
</body>
</html>
)";
  return h;
}

}  // namespace boxgen
