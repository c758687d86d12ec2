// The engine view tests' fixture: a main window with the view container 8, on Qt's offscreen
// platform.
#pragma once

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include <QWidget>

#include "engine/engine.h"
#include "toolkit/toolkit.h"
#include "toolkit_qt.h"

constexpr int kContainer = 8;

class EngineView : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tkOpenWindow("View", 720, 497));
    ASSERT_TRUE(tkContainer(kContainer, 10, 70, 335, 350));
    tkCloseContainer();
    iInitEngine();
  }
  void TearDown() override { tkShutdown(); }

  static QWidget* container() { return tkqt::controlWidget(kContainer); }

  // The colour at a point of the view's picture, as 0xRRGGBB.
  static uint32_t pixel(int x, int y) {
    int w = 0, h = 0;
    std::vector<uint8_t> rgba = tkGrabEngineView(&w, &h);
    if (x >= w || y >= h) return 0xFFFFFFFF;
    const uint8_t* p = &rgba[(static_cast<size_t>(y) * w + x) * 4];
    return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
  }
};
