// Headless rendering: an EGL context without any window system, and pictures of any size drawn
// into framebuffer objects, in tiles, with supersampling.
//
// EGL comes from <EGL/egl.h> here and nowhere else: libepoxy's EGL dispatch cannot be used
// before a display exists. GL calls go through epoxy, whose header must come first (it carries
// its own copy of the Khronos platform types).
#include <epoxy/gl.h>
#define EGL_NO_X11
#define MESA_EGL_NO_X11_HEADERS
#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/engine.h"
#include "engine_internal.h"
#include "engine/offscreen.h"

#ifndef EGL_PLATFORM_SURFACELESS_MESA
#define EGL_PLATFORM_SURFACELESS_MESA 0x31DD
#endif

namespace kestrum {

namespace {

constexpr int kMaxRenderSize = 16384;
constexpr int kDefaultTileLimit = 4096;
constexpr int kMaxSupersampling = 64;

void setError(std::string* error, const std::string& reason) {
  if (error) *error = reason;
}

EGLDisplay platformDisplay(EGLenum platform, void* native) {
  auto getDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
      eglGetProcAddress("eglGetPlatformDisplayEXT"));
  if (!getDisplay) return EGL_NO_DISPLAY;
  return getDisplay(platform, native, nullptr);
}

bool hasExtension(const char* list, const char* name) {
  if (!list) return false;
  const size_t len = std::strlen(name);
  for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += len) {
    if ((p == list || p[-1] == ' ') && (p[len] == ' ' || p[len] == '\0')) return true;
  }
  return false;
}

// Opens a display with no window system: Mesa's surfaceless platform first, then the first
// EGL device (a GPU driver's headless path).
EGLDisplay openDisplay(std::string* why) {
  const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
  std::vector<EGLDisplay> candidates;
  if (hasExtension(clientExtensions, "EGL_MESA_platform_surfaceless")) {
    candidates.push_back(platformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY));
  }
  if (hasExtension(clientExtensions, "EGL_EXT_platform_device")) {
    auto queryDevices =
        reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
    EGLDeviceEXT devices[8];
    EGLint count = 0;
    if (queryDevices && queryDevices(8, devices, &count)) {
      for (EGLint i = 0; i < count; ++i) {
        candidates.push_back(platformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i]));
      }
    }
  }
  for (EGLDisplay display : candidates) {
    if (display == EGL_NO_DISPLAY) continue;
    EGLint major = 0, minor = 0;
    if (eglInitialize(display, &major, &minor)) return display;
  }
  *why = candidates.empty() ? "EGL offers neither the surfaceless nor the device platform"
                            : "no EGL display could be initialised";
  return EGL_NO_DISPLAY;
}

// Averages k x k blocks of a bottom-row-first RGBA tile into top-row-first output rows.
void downsampleInto(const std::vector<uint8_t>& tile, int tileWidth, int tileHeight, int k,
                    Image& out, int outX, int outY, bool transparent) {
  const int w = tileWidth / k, h = tileHeight / k;
  const uint32_t n = uint32_t(k * k);
  for (int y = 0; y < h; ++y) {
    // Output row y (from the top) comes from GL rows counted from the bottom.
    const int glRow0 = tileHeight - (y + 1) * k;
    uint8_t* dst = out.pixel(outX, outY + y);
    for (int x = 0; x < w; ++x) {
      uint32_t sum[4] = {0, 0, 0, 0};
      for (int j = 0; j < k; ++j) {
        const uint8_t* src =
            tile.data() + (size_t(glRow0 + j) * size_t(tileWidth) + size_t(x) * k) * 4;
        for (int i = 0; i < k; ++i, src += 4) {
          sum[0] += src[0];
          sum[1] += src[1];
          sum[2] += src[2];
          sum[3] += src[3];
        }
      }
      uint8_t* p = dst + size_t(x) * 4;
      if (!transparent) {
        for (int c = 0; c < 3; ++c) p[c] = uint8_t((sum[c] + n / 2) / n);
        p[3] = 255;
        continue;
      }
      // The framebuffer holds premultiplied colour: average, then divide by coverage.
      const uint32_t alphaSum = sum[3];
      if (alphaSum == 0) {
        p[0] = p[1] = p[2] = p[3] = 0;
        continue;
      }
      for (int c = 0; c < 3; ++c) {
        p[c] = uint8_t(std::min<uint32_t>(255, (sum[c] * 255 + alphaSum / 2) / alphaSum));
      }
      p[3] = uint8_t((alphaSum + n / 2) / n);
    }
  }
}

}  // namespace

struct OffscreenRenderer::Impl {
  EGLDisplay display = EGL_NO_DISPLAY;
  EGLContext context = EGL_NO_CONTEXT;
  std::string rendererName;
  int maxSize = 0;
  int maxRenderbuffer = 0;
  int maxSamples = 0;

  // Framebuffers, grown as needed: a multisampled one to draw into and a plain one to resolve
  // it into and read back from.
  GLuint drawFbo = 0, drawColour = 0, drawDepth = 0;
  GLuint readFbo = 0, readColour = 0, readDepth = 0;
  int fboWidth = 0, fboHeight = 0, fboSamples = -1;

  void deleteFramebuffers() {
    const GLuint fbos[] = {drawFbo, readFbo};
    const GLuint rbs[] = {drawColour, drawDepth, readColour, readDepth};
    for (GLuint f : fbos) {
      if (f) glDeleteFramebuffers(1, &f);
    }
    for (GLuint r : rbs) {
      if (r) glDeleteRenderbuffers(1, &r);
    }
    drawFbo = drawColour = drawDepth = readFbo = readColour = readDepth = 0;
    fboWidth = fboHeight = 0;
    fboSamples = -1;
  }

  bool makeFramebuffer(GLuint* fbo, GLuint* colour, GLuint* depth, int width, int height,
                       int samples) {
    glGenFramebuffers(1, fbo);
    glGenRenderbuffers(1, colour);
    glGenRenderbuffers(1, depth);
    glBindRenderbuffer(GL_RENDERBUFFER, *colour);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_RGBA8, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, *depth);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_DEPTH24_STENCIL8, width, height);
    glBindFramebuffer(GL_FRAMEBUFFER, *fbo);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, *colour);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, *depth);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return complete && glGetError() == GL_NO_ERROR;
  }

  // Framebuffers of at least width x height with `samples` (0 = not multisampled).
  bool ensureFramebuffers(int width, int height, int samples, std::string* error) {
    if (width <= fboWidth && height <= fboHeight && samples == fboSamples) return true;
    deleteFramebuffers();
    while (glGetError() != GL_NO_ERROR) {
    }
    const int w = std::max(width, 1), h = std::max(height, 1);
    bool ok = makeFramebuffer(&readFbo, &readColour, &readDepth, w, h, 0);
    if (ok && samples > 0) ok = makeFramebuffer(&drawFbo, &drawColour, &drawDepth, w, h, samples);
    if (!ok) {
      deleteFramebuffers();
      setError(error, "cannot make a " + std::to_string(w) + " x " + std::to_string(h) +
                          " framebuffer" + (samples ? " with multisampling" : ""));
      return false;
    }
    fboWidth = w;
    fboHeight = h;
    fboSamples = samples;
    return true;
  }
};

OffscreenRenderer::OffscreenRenderer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

OffscreenRenderer::~OffscreenRenderer() {
  if (!impl_ || impl_->context == EGL_NO_CONTEXT) return;
  if (makeCurrent()) {
    iReleaseGraphics();
    impl_->deleteFramebuffers();
  }
  eglMakeCurrent(impl_->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  eglDestroyContext(impl_->display, impl_->context);
  // The display stays initialised for the life of the process: EGL hands every renderer the
  // same one, and unloading the driver only to load it again costs time (and leaks in Mesa).
}

std::unique_ptr<OffscreenRenderer> OffscreenRenderer::create(std::string* error) {
  auto impl = std::make_unique<Impl>();
  std::string why;
  impl->display = openDisplay(&why);
  if (impl->display == EGL_NO_DISPLAY) {
    setError(error, "headless OpenGL unavailable: " + why);
    return nullptr;
  }
  auto fail = [&](const std::string& reason) -> std::unique_ptr<OffscreenRenderer> {
    if (impl->context != EGL_NO_CONTEXT) {
      eglMakeCurrent(impl->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
      eglDestroyContext(impl->display, impl->context);
    }
    setError(error, "headless OpenGL unavailable: " + reason);
    return nullptr;
  };
  if (!eglBindAPI(EGL_OPENGL_API)) return fail("EGL cannot bind desktop OpenGL");
  const char* extensions = eglQueryString(impl->display, EGL_EXTENSIONS);
  if (!hasExtension(extensions, "EGL_KHR_surfaceless_context")) {
    return fail("EGL cannot make a context current without a surface");
  }
  EGLConfig config = nullptr;  // EGL_NO_CONFIG_KHR
  if (!hasExtension(extensions, "EGL_KHR_no_config_context")) {
    const EGLint wanted[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE, 0, EGL_NONE};
    EGLint count = 0;
    if (!eglChooseConfig(impl->display, wanted, &config, 1, &count) || count < 1) {
      return fail("no EGL configuration for desktop OpenGL");
    }
  }
  const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                               3,
                               EGL_CONTEXT_MINOR_VERSION,
                               3,
                               EGL_CONTEXT_OPENGL_PROFILE_MASK,
                               EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                               EGL_NONE};
  impl->context = eglCreateContext(impl->display, config, EGL_NO_CONTEXT, attributes);
  if (impl->context == EGL_NO_CONTEXT) return fail("no OpenGL 3.3 core context");
  if (!eglMakeCurrent(impl->display, EGL_NO_SURFACE, EGL_NO_SURFACE, impl->context)) {
    return fail("the OpenGL context cannot be made current");
  }
  if (epoxy_gl_version() < 33) return fail("OpenGL 3.3 or later is needed");

  const GLubyte* name = glGetString(GL_RENDERER);
  impl->rendererName = name ? reinterpret_cast<const char*>(name) : "";
  GLint maxTexture = 0, maxRenderbuffer = 0, viewport[2] = {0, 0}, maxSamples = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture);
  glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxRenderbuffer);
  glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
  glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
  impl->maxRenderbuffer = std::min({maxRenderbuffer, viewport[0], viewport[1]});
  impl->maxSize = std::min({kMaxRenderSize, maxTexture, impl->maxRenderbuffer});
  impl->maxSamples = maxSamples;
  if (impl->maxSize < 1) return fail("the driver reports no usable framebuffer size");
  return std::unique_ptr<OffscreenRenderer>(new OffscreenRenderer(std::move(impl)));
}

bool OffscreenRenderer::makeCurrent() {
  if (!eglMakeCurrent(impl_->display, EGL_NO_SURFACE, EGL_NO_SURFACE, impl_->context)) {
    return false;
  }
  iSetGraphicsContext(impl_->context);
  return true;
}

std::string OffscreenRenderer::rendererName() const {
  return impl_->rendererName;
}

int OffscreenRenderer::maxSize() const {
  return impl_->maxSize;
}

std::optional<Image> OffscreenRenderer::render(int width, int height,
                                               const OffscreenOptions& options,
                                               std::string* error) {
  using engine_detail::EngineState;
  if (width < 1 || height < 1 || width > impl_->maxSize || height > impl_->maxSize) {
    setError(error, "picture size " + std::to_string(width) + " x " + std::to_string(height) +
                        " is outside 1.." + std::to_string(impl_->maxSize));
    return std::nullopt;
  }
  if (!imageSizeAllowed(width, height)) {
    setError(error, "picture size " + std::to_string(width) + " x " + std::to_string(height) +
                        " is too large");
    return std::nullopt;
  }
  if (!makeCurrent()) {
    setError(error, "the OpenGL context cannot be made current");
    return std::nullopt;
  }

  const int samples = std::clamp(options.samples, 1, kMaxSupersampling);
  // More than one sample: draw on a k-times finer grid, multisampled where the driver can, and
  // average each k x k block.
  const int k = samples > 1 ? int(std::ceil(std::sqrt(double(samples)))) : 1;
  const int msaa = samples > 1 && impl_->maxSamples >= 2 ? std::min(4, impl_->maxSamples) : 0;
  int tileLimit = std::min(kDefaultTileLimit, impl_->maxRenderbuffer);
  if (options.tileSize > 0) tileLimit = std::min(tileLimit, options.tileSize * k);
  // Output pixels a tile side, even: GPUs take texture derivatives over 2 x 2 pixel blocks, so
  // tiles that start on even pixels pick the same mipmap levels as the picture in one piece.
  const int tileOut = std::max(2, tileLimit / k) & ~1;
  const int tileW = std::min(tileOut, width), tileH = std::min(tileOut, height);
  if (!impl_->ensureFramebuffers(tileW * k, tileH * k, msaa, error)) return std::nullopt;

  Image out;
  try {
    out.pixels.assign(size_t(width) * size_t(height) * 4, 0);
  } catch (const std::bad_alloc&) {
    setError(error, "out of memory for a " + std::to_string(width) + " x " +
                        std::to_string(height) + " picture");
    return std::nullopt;
  }
  out.width = width;
  out.height = height;
  out.hasAlpha = options.transparent;

  // The engine's frame settings are borrowed for the tiles and put back afterwards.
  EngineState& s = engine_detail::state();
  const unsigned savedFramebuffer = s.framebuffer;
  const int savedWidth = s.targetWidth, savedHeight = s.targetHeight;
  float savedWindow[4];
  std::copy(s.viewWindow, s.viewWindow + 4, savedWindow);
  const float savedAspect = s.viewAspect;
  std::function<void()> savedPresent = std::move(s.present);
  s.present = nullptr;

  const uint32_t clear = options.transparent ? 0u : options.clearColour;
  std::vector<uint8_t> tile;
  iSetViewAspect(float(double(width) / double(height)));
  bool ok = true;
  for (int ty = 0; ty < height && ok; ty += tileOut) {
    for (int tx = 0; tx < width && ok; tx += tileOut) {
      const int tw = std::min(tileOut, width - tx), th = std::min(tileOut, height - ty);
      const int pw = tw * k, ph = th * k;
      iSetRenderTarget(msaa ? impl_->drawFbo : impl_->readFbo, pw, ph);
      iSetViewWindow(float(double(tx) / width), float(double(ty) / height),
                     float(double(tx + tw) / width), float(double(ty + th) / height));
      iBeginScene(int(clear & 0xFF), int((clear >> 8) & 0xFF), int((clear >> 16) & 0xFF),
                  int(clear >> 24), true, true);
      iDrawScene();
      iEndScene();
      if (msaa) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, impl_->drawFbo);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, impl_->readFbo);
        glBlitFramebuffer(0, 0, pw, ph, 0, 0, pw, ph, GL_COLOR_BUFFER_BIT, GL_NEAREST);
      }
      glBindFramebuffer(GL_READ_FRAMEBUFFER, impl_->readFbo);
      glReadBuffer(GL_COLOR_ATTACHMENT0);
      glPixelStorei(GL_PACK_ALIGNMENT, 1);
      while (glGetError() != GL_NO_ERROR) {
      }
      tile.resize(size_t(pw) * size_t(ph) * 4);
      glReadPixels(0, 0, pw, ph, GL_RGBA, GL_UNSIGNED_BYTE, tile.data());
      if (glGetError() != GL_NO_ERROR) {
        setError(error, "reading the picture back from OpenGL failed");
        ok = false;
        break;
      }
      downsampleInto(tile, pw, ph, k, out, tx, ty, options.transparent);
    }
  }
  glBindFramebuffer(GL_FRAMEBUFFER, 0);

  s.framebuffer = savedFramebuffer;
  s.targetWidth = savedWidth;
  s.targetHeight = savedHeight;
  std::copy(savedWindow, savedWindow + 4, s.viewWindow);
  s.viewAspect = savedAspect;
  s.present = std::move(savedPresent);
  if (!ok) return std::nullopt;
  return out;
}

}  // namespace kestrum
