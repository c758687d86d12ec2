// The real window under X: the example session opened, its box dressed with the sample covers in
// two styles, and the window's picture kept for the documentation.
#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QWidget>

#include "image/image.h"
#include "shot/shot.h"
#include "ui_fixture.h"

namespace uitest {
namespace {

// Pixels of the engine view that are strongly coloured (the sample covers are; the stock
// pictures and the white ground are not).
double colourfulShare() {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba = tkGrabEngineView(&width, &height);
  if (rgba.empty()) return 0;
  int count = 0;
  for (size_t i = 0; i + 3 < rgba.size(); i += 4) {
    int hi = std::max({rgba[i], rgba[i + 1], rgba[i + 2]});
    int lo = std::min({rgba[i], rgba[i + 1], rgba[i + 2]});
    count += hi - lo > 90 ? 1 : 0;
  }
  return double(count) / (double(width) * height);
}

QWidget* mainWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget->isVisible() && widget->width() >= 700) return widget;
  return nullptr;
}

class Display : public UiTest {};

TEST_F(Display, ExampleSessionDressesTheBoxInTwoStyles) {
  fs::path example = fs::path(KESTRUM_SOURCE_DIR) / "examples" / "curved_box.ksm";
  ASSERT_TRUE(fs::exists(example));
  answers = {example.string()};
  menu(kMenuOpen);
  ASSERT_EQ(App.CurrentStyle, 3);
  for (int slot : {kSlotFront, kSlotBack, kSlotLeft}) {
    EXPECT_NE(App.Covers[slot].Texture, 0) << App.Covers[slot].Path;
  }
  // The first picture shows the Cover Art page, the second the style chosen on its own page.
  const std::pair<int, int> shots[] = {{3, kMenuCoverArt}, {9, kMenuBoxStyles}};
  for (auto [style, page] : shots) {
    SCOPED_TRACE(style);
    menu(page);
    click(kFirstStyleButton + style - 1, 1);
    EXPECT_EQ(tkState(kFirstStyleButton + style - 1), 1);
    DrawFrame();
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    EXPECT_GT(colourfulShare(), 0.04);
    QWidget* window = mainWindow();
    ASSERT_NE(window, nullptr);
    QImage shot = window->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    char name[32];
    std::snprintf(name, sizeof name, "dressed_style%02d.png", style);
    EXPECT_TRUE(shot.save(QString::fromStdString((tmp / name).string())));
  }
}

}  // namespace
}  // namespace uitest
