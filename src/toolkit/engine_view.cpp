// The view that shows the engine's frames inside a container, with the four drivers: OpenGL (a
// QOpenGLWidget the engine draws into), software (a headless EGL context whose frames are copied
// into a plain widget), fallback (the background colour only) and Direct3D (never available).
#include <epoxy/gl.h>  // before any Qt OpenGL header

#include <EGL/egl.h>

#include <algorithm>
#include <memory>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QPainter>
#include <QPointer>
#include <QSurfaceFormat>

#include "engine/engine.h"
#include "engine/offscreen.h"
#include "toolkit/toolkit.h"
#include "toolkit_qt.h"

namespace {

QColor engineColour(uint32_t c) {
  return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

// Samples a pixel of the on-screen view: 4 while the engine asks for anti-aliasing.
int viewSamples() {
  return iAntiAliasSetting() ? 4 : 0;
}

QSurfaceFormat viewFormat(int samples = 0) {
  QSurfaceFormat format;
  format.setSamples(samples);
  format.setRenderableType(QSurfaceFormat::OpenGL);
  format.setVersion(3, 3);
  format.setProfile(QSurfaceFormat::CoreProfile);
  format.setDepthBufferSize(24);
  format.setStencilBufferSize(8);
  return format;
}

// The engine draws into this widget's framebuffer between paints, from the program's loop; a
// paint only shows what is there (or the background before the first frame).
class GlView : public QOpenGLWidget {
 public:
  GlView(QWidget* parent, int samples) : QOpenGLWidget(parent) {
    setFormat(viewFormat(samples));
    setUpdateBehavior(QOpenGLWidget::PartialUpdate);  // keep the frame between paints
    setMouseTracking(true);
  }
  QColor background = Qt::white;
  bool hasFrame = false;

 protected:
  void initializeGL() override {}
  void resizeGL(int, int) override { hasFrame = false; }
  void paintGL() override {
    if (hasFrame) return;
    glClearColor(background.redF(), background.greenF(), background.blueF(), 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }
};

// Shows a frame copied from elsewhere, or the background colour.
class PictureView : public QWidget {
 public:
  explicit PictureView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }
  QImage frame;
  QColor background = Qt::white;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), background);
    if (!frame.isNull()) painter.drawImage(0, 0, frame);
  }
};

struct View {
  int driver = 0;
  QPointer<QWidget> widget;
  GlView* gl = nullptr;
  PictureView* picture = nullptr;
  // Software driver: the headless context, the framebuffer the engine draws into and, when that
  // one is multisampled, the one it is resolved into for reading.
  std::unique_ptr<kestrum::OffscreenRenderer> offscreen;
  GLuint framebuffer = 0, colour = 0, depth = 0;
  GLuint resolveFramebuffer = 0, resolveColour = 0;
  int width = 0, height = 0, samples = 0;
  int frames = 0;
};

View& view() {
  static View v;
  return v;
}

int fail(const std::string& why) {
  tkqt::setLastError(why);
  return 0;
}

bool canMakeGlContext(std::string* why) {
  QOpenGLContext probe;
  probe.setFormat(viewFormat());
  if (!probe.create()) {
    *why = "no OpenGL context can be made on this display";
    return false;
  }
  QSurfaceFormat got = probe.format();
  if (got.version() < qMakePair(3, 3) || got.profile() != QSurfaceFormat::CoreProfile) {
    *why = "the display offers no OpenGL 3.3 core profile";
    return false;
  }
  QOffscreenSurface surface;
  surface.setFormat(got);
  surface.create();
  if (!surface.isValid() || !probe.makeCurrent(&surface)) {
    *why = "the OpenGL context cannot be made current";
    return false;
  }
  probe.doneCurrent();
  return true;
}

// A thread has one current context across GLX and EGL: the headless one is let go after each
// frame, so that Qt can make its own current to compose the window. Qt may use EGL itself, so
// only the headless context (known once it was current) is let go, never Qt's.
EGLContext& headlessContext() {
  static EGLContext context = EGL_NO_CONTEXT;
  return context;
}

bool makeHeadlessCurrent(kestrum::OffscreenRenderer& renderer) {
  if (!renderer.makeCurrent()) return false;
  headlessContext() = eglGetCurrentContext();
  return true;
}

void releaseHeadlessContext() {
  EGLDisplay display = eglGetCurrentDisplay();
  if (display != EGL_NO_DISPLAY && eglGetCurrentContext() == headlessContext())
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

void releaseSoftwareTarget() {
  View& v = view();
  if (!v.offscreen || !v.framebuffer) return;
  if (makeHeadlessCurrent(*v.offscreen)) {
    glDeleteFramebuffers(1, &v.framebuffer);
    glDeleteRenderbuffers(1, &v.colour);
    glDeleteRenderbuffers(1, &v.depth);
    if (v.resolveFramebuffer) {
      glDeleteFramebuffers(1, &v.resolveFramebuffer);
      glDeleteRenderbuffers(1, &v.resolveColour);
    }
  }
  v.framebuffer = v.colour = v.depth = v.resolveFramebuffer = v.resolveColour = 0;
  v.width = v.height = v.samples = 0;
}

// A framebuffer with a colour renderbuffer (and a depth one when `depth` is given).
bool makeFramebuffer(int width, int height, int samples, GLuint* framebuffer, GLuint* colour,
                     GLuint* depth) {
  glGenFramebuffers(1, framebuffer);
  glGenRenderbuffers(1, colour);
  glBindRenderbuffer(GL_RENDERBUFFER, *colour);
  glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_RGBA8, width, height);
  glBindFramebuffer(GL_FRAMEBUFFER, *framebuffer);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, *colour);
  if (depth) {
    glGenRenderbuffers(1, depth);
    glBindRenderbuffer(GL_RENDERBUFFER, *depth);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_DEPTH24_STENCIL8, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, *depth);
  }
  return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

// The software driver's framebuffers, made again when the view's size or sampling changed.
bool softwareTarget(int width, int height, int samples) {
  View& v = view();
  if (v.framebuffer && v.width == width && v.height == height && v.samples == samples) return true;
  releaseSoftwareTarget();
  if (!makeHeadlessCurrent(*v.offscreen)) return false;
  GLint most = 0;
  glGetIntegerv(GL_MAX_SAMPLES, &most);
  int used = std::min(samples, static_cast<int>(most));
  bool complete =
      makeFramebuffer(width, height, used > 1 ? used : 0, &v.framebuffer, &v.colour, &v.depth);
  if (complete && used > 1)
    complete = makeFramebuffer(width, height, 0, &v.resolveFramebuffer, &v.resolveColour, nullptr);
  v.width = width;
  v.height = height;
  v.samples = samples;
  if (!complete) releaseSoftwareTarget();
  return complete;
}

void presentSoftwareFrame() {
  View& v = view();
  if (!v.picture || !v.framebuffer) return;
  GLuint source = v.framebuffer;
  if (v.resolveFramebuffer) {
    glBindFramebuffer(GL_READ_FRAMEBUFFER, v.framebuffer);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, v.resolveFramebuffer);
    glBlitFramebuffer(0, 0, v.width, v.height, 0, 0, v.width, v.height, GL_COLOR_BUFFER_BIT,
                      GL_NEAREST);
    source = v.resolveFramebuffer;
  }
  QImage frame(v.width, v.height, QImage::Format_RGBA8888);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, source);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadPixels(0, 0, v.width, v.height, GL_RGBA, GL_UNSIGNED_BYTE, frame.bits());
  glBindFramebuffer(GL_FRAMEBUFFER, v.framebuffer);
  v.picture->frame = frame.mirrored();  // GL rows run bottom-up
  v.picture->update();
  ++v.frames;
  releaseHeadlessContext();
}

void presentGlFrame() {
  View& v = view();
  if (!v.gl) return;
  v.gl->hasFrame = true;
  v.gl->update();
  ++v.frames;
}

// The OpenGL widget initialises once its window shows it; wait briefly for that.
bool waitForGl(GlView* gl) {
  QElapsedTimer clock;
  clock.start();
  while (!gl->isValid() && clock.elapsed() < 2000) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (!gl->window()->isVisible()) break;
  }
  return gl->isValid();
}

}  // namespace

namespace tkqt {

QWidget* engineViewWidget() {
  return view().widget;
}

void engineViewPointerMoved(QPoint global) {
  QWidget* widget = view().widget;
  if (!widget) return;
  QPoint p = widget->mapFromGlobal(global);
  iSetMousePosition(p.x(), p.y());
}

void engineViewClosed() {
  tkFreeEngineView();
}

}  // namespace tkqt

int tkCreateEngineView(int containerId, int driver) {
  QWidget* container = tkqt::controlWidget(containerId);
  if (!container || tkControlKind(containerId) != TkControlKind::Container)
    return fail("control " + std::to_string(containerId) + " is not a container");
  tkFreeEngineView();
  View& v = view();
  std::string why;
  switch (driver) {
    case kTkDriverDirect3D:
      return fail("Direct3D is not available on this system");
    case kTkDriverOpenGL: {
      // Checked before the widget is made: a QOpenGLWidget on a platform without OpenGL
      // brings the process down.
      if (!canMakeGlContext(&why)) return fail(why);
      auto* gl = new GlView(container, viewSamples());
      gl->setGeometry(container->rect());
      gl->show();
      if (container->window()->isVisible() && !waitForGl(gl)) {
        delete gl;
        return fail("the OpenGL view could not be initialised");
      }
      v.gl = gl;
      v.widget = gl;
      break;
    }
    case kTkDriverSoftware: {
      // Qt's context, if one is current, would keep the headless one from becoming current.
      if (QOpenGLContext* qt = QOpenGLContext::currentContext()) qt->doneCurrent();
      auto offscreen = kestrum::OffscreenRenderer::create(&why);
      if (!offscreen) return fail("no headless OpenGL context: " + why);
      if (makeHeadlessCurrent(*offscreen)) releaseHeadlessContext();
      v.offscreen = std::move(offscreen);
      v.picture = new PictureView(container);
      v.widget = v.picture;
      break;
    }
    case kTkDriverFallback:
      v.picture = new PictureView(container);
      v.widget = v.picture;
      break;
    default:
      return fail("unknown driver " + std::to_string(driver));
  }
  v.driver = driver;
  v.frames = 0;
  v.widget->setGeometry(container->rect());
  v.widget->show();
  return 1;
}

int tkEngineViewDriver() {
  return view().widget ? view().driver : 0;
}

bool tkMakeEngineViewCurrent() {
  View& v = view();
  if (!v.widget) return false;
  if (v.driver == kTkDriverOpenGL && v.gl) {
    if (!v.gl->isValid() && !waitForGl(v.gl)) return false;
    v.gl->makeCurrent();
    return QOpenGLContext::currentContext() != nullptr;
  }
  if (v.driver == kTkDriverSoftware && v.offscreen) {
    if (QOpenGLContext* qt = QOpenGLContext::currentContext()) qt->doneCurrent();
    return makeHeadlessCurrent(*v.offscreen);
  }
  return false;
}

bool tkBeginEngineFrame(uint32_t background) {
  View& v = view();
  if (!v.widget) return false;
  QColor colour = engineColour(background);
  switch (v.driver) {
    case kTkDriverOpenGL: {
      v.gl->background = colour;
      if (!tkMakeEngineViewCurrent()) return false;
      qreal ratio = v.gl->devicePixelRatioF();
      iSetRenderTarget(v.gl->defaultFramebufferObject(), qRound(v.gl->width() * ratio),
                       qRound(v.gl->height() * ratio));
      iSetPresentCallback(presentGlFrame);
      return true;
    }
    case kTkDriverSoftware: {
      v.picture->background = colour;
      int w = std::max(1, v.picture->width()), h = std::max(1, v.picture->height());
      if (!tkMakeEngineViewCurrent() || !softwareTarget(w, h, viewSamples())) return false;
      iSetRenderTarget(v.framebuffer, w, h);
      iSetPresentCallback(presentSoftwareFrame);
      return true;
    }
    default:  // fallback: no 3D, the view shows the background
      v.picture->background = colour;
      v.picture->frame = QImage();
      v.picture->update();
      ++v.frames;
      return false;
  }
}

int tkEngineViewFrameCount() {
  return view().widget ? view().frames : 0;
}

std::vector<uint8_t> tkGrabEngineView(int* width, int* height) {
  View& v = view();
  QImage picture;
  if (v.widget) {
    picture = v.gl ? v.gl->grabFramebuffer() : v.widget->grab().toImage();
    picture = picture.convertToFormat(QImage::Format_RGBA8888);
  }
  if (width) *width = picture.width();
  if (height) *height = picture.height();
  std::vector<uint8_t> bytes;
  bytes.reserve(static_cast<size_t>(picture.width()) * picture.height() * 4);
  for (int y = 0; y < picture.height(); ++y) {
    const uchar* row = picture.constScanLine(y);
    bytes.insert(bytes.end(), row, row + picture.width() * 4);
  }
  return bytes;
}

void tkFreeEngineView() {
  View& v = view();
  if (v.driver == kTkDriverOpenGL || v.driver == kTkDriverSoftware) {
    iSetPresentCallback(nullptr);
    iSetRenderTarget(0, 0, 0);
  }
  // The engine's GL objects live in the view's context: delete them while it is current, so a
  // later context that happens to reuse its address is not taken for it.
  if (v.gl && v.gl->context()) {
    v.gl->makeCurrent();
    iReleaseGraphics();
    v.gl->doneCurrent();
  }
  releaseSoftwareTarget();
  if (v.offscreen) releaseHeadlessContext();
  v.offscreen.reset();
  headlessContext() = EGL_NO_CONTEXT;
  delete v.widget.data();
  v.widget = nullptr;
  v.gl = nullptr;
  v.picture = nullptr;
  v.driver = 0;
  v.frames = 0;
}
