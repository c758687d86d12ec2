// Tests that draw through a headless EGL context (an OpenGL 3.3 driver, Mesa's llvmpipe will do;
// no display).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/offscreen.h"

namespace kestrum::test {

// Whether a headless OpenGL context can be made here; `why` says why not.
inline bool headlessGlAvailable(std::string* why) {
  return OffscreenRenderer::create(why) != nullptr;
}

// A fixture whose suite shares one offscreen renderer; each test fails when none could be made.
// A derived SetUp starts with ASSERT_NO_FATAL_FAILURE(HeadlessGlTest::SetUp()).
class HeadlessGlTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { renderer_ = OffscreenRenderer::create(&createError_); }
  static void TearDownTestSuite() { renderer_.reset(); }
  void SetUp() override {
    ASSERT_NE(renderer_, nullptr) << "no headless OpenGL context: " << createError_;
  }

  static OffscreenRenderer& renderer() { return *renderer_; }

 private:
  inline static std::unique_ptr<OffscreenRenderer> renderer_;
  inline static std::string createError_;
};

}  // namespace kestrum::test
