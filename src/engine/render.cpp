// The renderer: draws the scene with OpenGL 3.3 core in the context that is current, with one
// shader program that lights every pixel.
#include <epoxy/gl.h>
#define EGL_NO_X11
#define MESA_EGL_NO_X11_HEADERS
#include <EGL/egl.h>
#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine_internal.h"

using namespace kestrum::engine_detail;

namespace {

constexpr int kMaxLights = 4;
constexpr int kUploadUnit = 7;

const char* kVertexShader = R"(#version 330 core
layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec4 aColour;
layout(location = 3) in vec2 aUv;
layout(location = 4) in vec2 aUv2;
uniform mat4 uModelView;
uniform mat4 uProjection;
uniform mat3 uNormalMatrix;
uniform bool uNormalize;
out vec3 vViewPosition;
out vec3 vNormal;
out float vNormalLength;
out vec4 vColour;
out vec2 vUv;
out vec2 vUv2;
void main() {
  vec4 p = uModelView * vec4(aPosition, 1.0);
  vViewPosition = p.xyz;
  vec3 n = uNormalMatrix * aNormal;
  vNormal = n;
  // Without normalising, a scaled node's normals keep the length the scale gave them, which
  // brightens or darkens its lighting as in classic fixed-function pipelines.
  vNormalLength = uNormalize ? 1.0 : length(n);
  vColour = aColour;
  vUv = aUv;
  vUv2 = aUv2;
  gl_Position = uProjection * p;
}
)";

const char* kFragmentShader = R"(#version 330 core
in vec3 vViewPosition;
in vec3 vNormal;
in float vNormalLength;
in vec4 vColour;
in vec2 vUv;
in vec2 vUv2;
uniform sampler2D uLayer0;
uniform sampler2D uLayer1;
uniform int uType;
uniform bool uLighting;
uniform bool uOpaque;
uniform vec4 uDiffuse;
uniform vec4 uAmbient;
uniform vec4 uEmissive;
uniform vec4 uGlobal;
uniform vec3 uAmbientLight;
uniform int uLightCount;
uniform vec3 uLightPosition[4];
uniform vec3 uLightColour[4];
uniform float uLightRadius[4];
out vec4 fragColour;
void main() {
  float len = length(vNormal);
  vec3 unit = len > 0.0 ? vNormal / len : vec3(0.0, 0.0, -1.0);
  vec3 n = unit * vNormalLength;

  vec4 texel;
  if (uType == 10) {
    // Sphere map: the view-space reflection (the eye looks along +z) picks the texel; a
    // reflection straight back at the eye lands in the middle of the picture.
    vec3 r = reflect(normalize(vViewPosition), unit);
    float m = 2.0 * sqrt(r.x * r.x + r.y * r.y + (r.z - 1.0) * (r.z - 1.0));
    m = max(m, 1e-5);
    texel = texture(uLayer0, vec2(0.5 + r.x / m, 0.5 - r.y / m));
  } else {
    texel = texture(uLayer0, vUv);
    if (uType == 9) {
      // Detail: layer 1 adds a signed offset; grey 128 changes nothing.
      texel.rgb = clamp(texel.rgb + texture(uLayer1, vUv2).rgb - vec3(128.0 / 255.0), 0.0, 1.0);
    }
  }

  vec4 base;
  if (uLighting) {
    vec3 diffuse = vec3(0.0);
    for (int i = 0; i < uLightCount; ++i) {
      vec3 toLight = uLightPosition[i] - vViewPosition;
      float d = length(toLight);
      // Full strength near the light, falling smoothly to nothing at its radius.
      float x = d / uLightRadius[i];
      float window = clamp(1.0 - x * x * x * x, 0.0, 1.0);
      float attenuation = window * window;
      float lambert = d > 0.0 ? max(dot(n, toLight / d), 0.0) : 0.0;
      diffuse += uLightColour[i] * lambert * attenuation;
    }
    vec3 lit = uEmissive.rgb + uAmbientLight * uAmbient.rgb * vColour.rgb +
               diffuse * uDiffuse.rgb * vColour.rgb;
    base = vec4(clamp(lit, 0.0, 1.0), uDiffuse.a * vColour.a);
  } else {
    base = vColour * uDiffuse;
  }
  vec4 colour = base * texel * uGlobal;
  if (uOpaque) colour.a = 1.0;
  fragColour = colour;
}
)";

enum Filter { FilterNone, FilterBilinear, FilterTrilinear, FilterAnisotropic, FilterCount };

struct Uniforms {
  GLint modelView, projection, normalMatrix, normalize, layer0, layer1, type, lighting, opaque,
      diffuse, ambient, emissive, global, ambientLight, lightCount, lightPosition, lightColour,
      lightRadius;
};

// GL objects that belong to the current context rather than to the scene.
struct GlResources {
  uint64_t generation = 0;  // 0: none made
  bool broken = false;      // the program failed to build: draw nothing
  GLuint program = 0;
  Uniforms u{};
  GLuint samplers[FilterCount][2] = {};  // [filter][has mipmaps]
  GLuint white = 0;                      // stands in for a missing layer 0
  GLuint grey = 0;                       // stands in for a missing detail layer
  float maxAnisotropy = 0;
  GLint maxTextureSize = 0;
};

GlResources gGl;

std::array<float, 4> unpackColour(uint32_t c) {
  return {float(c & 0xFF) / 255.0f, float((c >> 8) & 0xFF) / 255.0f,
          float((c >> 16) & 0xFF) / 255.0f, float((c >> 24) & 0xFF) / 255.0f};
}

GLuint compileShader(GLenum kind, const char* source) {
  GLuint shader = glCreateShader(kind);
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint ok = 0;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[2048] = {};
    glGetShaderInfoLog(shader, sizeof log, nullptr, log);
    std::fprintf(stderr, "kestrum engine: shader does not compile: %s\n", log);
    glDeleteShader(shader);
    return 0;
  }
  return shader;
}

GLuint buildProgram() {
  GLuint vs = compileShader(GL_VERTEX_SHADER, kVertexShader);
  GLuint fs = compileShader(GL_FRAGMENT_SHADER, kFragmentShader);
  if (!vs || !fs) {
    if (vs) glDeleteShader(vs);
    if (fs) glDeleteShader(fs);
    return 0;
  }
  GLuint program = glCreateProgram();
  glAttachShader(program, vs);
  glAttachShader(program, fs);
  glLinkProgram(program);
  glDeleteShader(vs);
  glDeleteShader(fs);
  GLint ok = 0;
  glGetProgramiv(program, GL_LINK_STATUS, &ok);
  if (!ok) {
    char log[2048] = {};
    glGetProgramInfoLog(program, sizeof log, nullptr, log);
    std::fprintf(stderr, "kestrum engine: shader program does not link: %s\n", log);
    glDeleteProgram(program);
    return 0;
  }
  return program;
}

GLuint makeSolidTexture(uint8_t r, uint8_t g, uint8_t b) {
  const uint8_t pixel[4] = {r, g, b, 255};
  GLuint t = 0;
  glGenTextures(1, &t);
  glBindTexture(GL_TEXTURE_2D, t);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  return t;
}

bool haveAnisotropicFiltering() {
  return epoxy_gl_version() >= 46 || epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic") ||
         epoxy_has_gl_extension("GL_ARB_texture_filter_anisotropic");
}

void makeSamplers() {
  for (int filter = 0; filter < FilterCount; ++filter) {
    for (int mips = 0; mips < 2; ++mips) {
      GLuint s = 0;
      glGenSamplers(1, &s);
      glSamplerParameteri(s, GL_TEXTURE_WRAP_S, GL_REPEAT);
      glSamplerParameteri(s, GL_TEXTURE_WRAP_T, GL_REPEAT);
      GLint minFilter = GL_NEAREST, magFilter = GL_NEAREST;
      if (filter == FilterBilinear) {
        minFilter = mips ? GL_LINEAR_MIPMAP_NEAREST : GL_LINEAR;
        magFilter = GL_LINEAR;
      } else if (filter == FilterTrilinear || filter == FilterAnisotropic) {
        minFilter = mips ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR;
        magFilter = GL_LINEAR;
      }
      glSamplerParameteri(s, GL_TEXTURE_MIN_FILTER, minFilter);
      glSamplerParameteri(s, GL_TEXTURE_MAG_FILTER, magFilter);
      if (filter == FilterAnisotropic && gGl.maxAnisotropy > 1) {
        glSamplerParameterf(s, GL_TEXTURE_MAX_ANISOTROPY_EXT, std::min(16.0f, gGl.maxAnisotropy));
      }
      gGl.samplers[filter][mips] = s;
    }
  }
}

// The window system's handle of the current context (EGL or GLX), or null when neither says.
const void* currentNativeContext() {
  if (EGLContext egl = eglGetCurrentContext(); egl != EGL_NO_CONTEXT) return egl;
  using GetCurrent = void* (*)();
  static GetCurrent glxGetCurrent = nullptr;
  if (!glxGetCurrent) {
    // Only if a GLX library is already loaded (by Qt or libepoxy): never load one here.
    for (const char* name : {"libGLX.so.0", "libGL.so.1"}) {
      if (void* lib = dlopen(name, RTLD_LAZY | RTLD_NOLOAD)) {
        glxGetCurrent = reinterpret_cast<GetCurrent>(dlsym(lib, "glXGetCurrentContext"));
        if (glxGetCurrent) break;
      }
    }
  }
  return glxGetCurrent ? glxGetCurrent() : nullptr;
}

// Deletes GL objects of the scene that were dropped while this context is current; forgets those
// of other contexts.
void collectGarbage() {
  EngineState& s = state();
  for (const GlGarbage& g : s.garbage) {
    if (g.generation != s.glGeneration) continue;
    switch (g.kind) {
      case GlGarbage::TextureObject:
        glDeleteTextures(1, &g.name);
        break;
      case GlGarbage::BufferObject:
        glDeleteBuffers(1, &g.name);
        break;
      case GlGarbage::VertexArrayObject:
        glDeleteVertexArrays(1, &g.name);
        break;
    }
  }
  s.garbage.clear();
}

// Makes the program, samplers and stand-in textures for the current context; false when the
// program cannot be built.
bool prepareContext() {
  // Objects made in another context must not be used here: recognise the context by its
  // window-system handle where there is one, else by what the host named.
  if (const void* native = currentNativeContext()) iSetGraphicsContext(native);
  EngineState& s = state();
  if (gGl.generation != s.glGeneration) {
    gGl = GlResources{};
    gGl.generation = s.glGeneration;
    gGl.program = buildProgram();
    gGl.broken = gGl.program == 0;
    if (!gGl.broken) {
      const GLuint p = gGl.program;
      Uniforms& u = gGl.u;
      u.modelView = glGetUniformLocation(p, "uModelView");
      u.projection = glGetUniformLocation(p, "uProjection");
      u.normalMatrix = glGetUniformLocation(p, "uNormalMatrix");
      u.normalize = glGetUniformLocation(p, "uNormalize");
      u.layer0 = glGetUniformLocation(p, "uLayer0");
      u.layer1 = glGetUniformLocation(p, "uLayer1");
      u.type = glGetUniformLocation(p, "uType");
      u.lighting = glGetUniformLocation(p, "uLighting");
      u.opaque = glGetUniformLocation(p, "uOpaque");
      u.diffuse = glGetUniformLocation(p, "uDiffuse");
      u.ambient = glGetUniformLocation(p, "uAmbient");
      u.emissive = glGetUniformLocation(p, "uEmissive");
      u.global = glGetUniformLocation(p, "uGlobal");
      u.ambientLight = glGetUniformLocation(p, "uAmbientLight");
      u.lightCount = glGetUniformLocation(p, "uLightCount");
      u.lightPosition = glGetUniformLocation(p, "uLightPosition");
      u.lightColour = glGetUniformLocation(p, "uLightColour");
      u.lightRadius = glGetUniformLocation(p, "uLightRadius");
      if (haveAnisotropicFiltering()) {
        glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &gGl.maxAnisotropy);
      }
      glGetIntegerv(GL_MAX_TEXTURE_SIZE, &gGl.maxTextureSize);
      makeSamplers();
      gGl.white = makeSolidTexture(255, 255, 255);
      gGl.grey = makeSolidTexture(128, 128, 128);
    }
    if (s.rendererName.empty()) {
      const GLubyte* name = glGetString(GL_RENDERER);
      if (name) s.rendererName = reinterpret_cast<const char*>(name);
    }
  }
  collectGarbage();
  return !gGl.broken;
}

// Makes the mipmaps of the texture bound to the upload unit.
void generateMipmaps(Texture& t) {
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 1000);
  glGenerateMipmap(GL_TEXTURE_2D);
  t.glMipmaps = true;
}

// The GL texture of an engine texture, uploaded on first use in this context. Trilinear and
// anisotropic filtering need mipmaps: a texture made without them gets them when first drawn so.
GLuint textureObject(Texture& t, bool needMipmaps) {
  const uint64_t generation = state().glGeneration;
  if (t.glName && t.generation == generation) {
    if (needMipmaps && !t.glMipmaps) {
      glActiveTexture(GL_TEXTURE0 + kUploadUnit);
      glBindTexture(GL_TEXTURE_2D, t.glName);
      generateMipmaps(t);
    }
    return t.glName;
  }
  t.glName = 0;  // made in another context: forgotten there
  if (!restoreTexturePixels(t)) return 0;
  if (t.image.width != t.madeWidth || t.image.height != t.madeHeight) {
    // Scaled to its made size on its first upload (see Texture).
    const bool hasAlpha = t.image.hasAlpha;
    kestrum::Image scaled = kestrum::resampleArea(t.image, t.madeWidth, t.madeHeight);
    if (scaled.empty()) return 0;
    scaled.hasAlpha = hasAlpha;
    t.image = std::move(scaled);
  }
  const kestrum::Image* pixels = &t.image;
  kestrum::Image reduced;
  const int limit = gGl.maxTextureSize > 0 ? gGl.maxTextureSize : 4096;
  if (t.image.width > limit || t.image.height > limit) {
    const double f = double(limit) / double(std::max(t.image.width, t.image.height));
    reduced = kestrum::resampleArea(t.image, std::max(1, int(t.image.width * f)),
                                    std::max(1, int(t.image.height * f)));
    if (reduced.empty()) return 0;
    pixels = &reduced;
  }
  GLuint name = 0;
  glGenTextures(1, &name);
  // A unit of its own, so that uploading never disturbs the layers already bound.
  glActiveTexture(GL_TEXTURE0 + kUploadUnit);
  glBindTexture(GL_TEXTURE_2D, name);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  // Rows go up top row first, so v = 0 samples the top of the picture.
  GLint internal = GL_RGBA8;
  if (!t.quality) internal = t.image.hasAlpha ? GL_RGBA4 : GL_RGB5;
  glTexImage2D(GL_TEXTURE_2D, 0, internal, pixels->width, pixels->height, 0, GL_RGBA,
               GL_UNSIGNED_BYTE, pixels->pixels.data());
  if (t.mipmaps || needMipmaps) {
    generateMipmaps(t);
  } else {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    t.glMipmaps = false;
  }
  t.glName = name;
  t.generation = generation;
  return name;
}

// The mesh buffer's vertex array, uploaded again whenever the buffer changed.
const GpuBuffer* bufferObjects(MeshBuffer& b) {
  const uint64_t generation = state().glGeneration;
  GpuBuffer& g = b.gpu;
  if (g.generation != generation) g = GpuBuffer{};  // made in another context
  if (g.vao && g.version == b.version) return &g;
  if (!g.vao) {
    glGenVertexArrays(1, &g.vao);
    glGenBuffers(1, &g.vbo);
    glGenBuffers(1, &g.ibo);
    g.generation = generation;
  }
  // Faces that name a vertex the buffer does not have are dropped.
  std::vector<GLuint> indices;
  indices.reserve(b.indices.size());
  const int count = int(b.vertices.size());
  for (size_t i = 0; i + 2 < b.indices.size(); i += 3) {
    const int a = b.indices[i], c = b.indices[i + 1], d = b.indices[i + 2];
    if (a < 0 || c < 0 || d < 0 || a >= count || c >= count || d >= count) continue;
    indices.insert(indices.end(), {GLuint(a), GLuint(c), GLuint(d)});
  }
  glBindVertexArray(g.vao);
  glBindBuffer(GL_ARRAY_BUFFER, g.vbo);
  glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(b.vertices.size() * sizeof(EngineVertex)),
               b.vertices.data(), GL_STATIC_DRAW);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, g.ibo);
  glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(indices.size() * sizeof(GLuint)), indices.data(),
               GL_STATIC_DRAW);
  const GLsizei stride = sizeof(EngineVertex);
  glEnableVertexAttribArray(0);
  glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride,
                        reinterpret_cast<void*>(offsetof(EngineVertex, x)));
  glEnableVertexAttribArray(1);
  glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride,
                        reinterpret_cast<void*>(offsetof(EngineVertex, nx)));
  // The colour's bytes lie red, green, blue, alpha in memory (red in the low bits).
  glEnableVertexAttribArray(2);
  glVertexAttribPointer(2, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                        reinterpret_cast<void*>(offsetof(EngineVertex, colour)));
  glEnableVertexAttribArray(3);
  glVertexAttribPointer(3, 2, GL_FLOAT, GL_FALSE, stride,
                        reinterpret_cast<void*>(offsetof(EngineVertex, u)));
  glEnableVertexAttribArray(4);
  glVertexAttribPointer(4, 2, GL_FLOAT, GL_FALSE, stride,
                        reinterpret_cast<void*>(offsetof(EngineVertex, u2)));
  glBindVertexArray(0);
  g.indexCount = int(indices.size());
  g.version = b.version;
  return &g;
}

Filter filterOf(int flags) {
  if (flags & kFlagAnisotropic) return FilterAnisotropic;
  if (flags & kFlagTrilinear) return FilterTrilinear;
  if (flags & kFlagBilinear) return FilterBilinear;
  return FilterNone;
}

struct DrawItem {
  EngineHandle handle;
  Node* node;
  Mat4 world;
  double depth;  // view-space z of the node's origin, for sorting blended meshes
  bool blended;
};

void collect(EngineHandle handle, const Mat4& parentWorld, const Mat4& view,
             std::vector<DrawItem>& meshes, std::vector<DrawItem>& lights, int depth) {
  Node* node = findNode(handle);
  if (!node || !node->visible || depth > 10000) return;
  const Mat4 world = parentWorld * localMatrix(*node);
  if (node->kind == EngineNodeKind::Mesh && !node->buffers.empty()) {
    const EngineMaterial& m = node->material;
    bool blended = (m.global >> 24) < 255 || (m.diffuse >> 24) < 255;
    const Texture* layer0 = findTexture(m.textures[0]);
    if (layer0 && layer0->image.hasAlpha) blended = true;
    for (const MeshBuffer& b : node->buffers) blended = blended || b.vertexAlpha;
    meshes.push_back({handle, node, world, (view * world).translationPart().z, blended});
  } else if (node->kind == EngineNodeKind::Light) {
    lights.push_back({handle, node, world, 0, false});
  }
  for (EngineHandle child : node->children) collect(child, world, view, meshes, lights, depth + 1);
}

void setMatrix4(GLint location, const Mat4& m) {
  float f[16];
  for (int i = 0; i < 16; ++i) f[i] = float(m.m[i]);
  glUniformMatrix4fv(location, 1, GL_FALSE, f);
}

// Perspective projection for a left-handed view space (the eye looks along +z), drawing the
// part viewWindow of the full view: off-axis, so tiles line up with the whole picture.
Mat4 projection(const Node& camera, double aspect, const float* window) {
  double n = camera.nearValue, f = camera.farValue;
  if (!(f > n)) f = n * 1000.0;
  const double top = n * std::tan(toRadians(camera.fov) / 2.0);
  const double right = top * aspect;
  const double l = -right + 2.0 * right * window[0];
  const double r = -right + 2.0 * right * window[2];
  const double t = top - 2.0 * top * window[1];
  const double b = top - 2.0 * top * window[3];
  Mat4 p;
  p.m[0] = 2.0 * n / (r - l);
  p.m[5] = 2.0 * n / (t - b);
  p.m[8] = -(r + l) / (r - l);
  p.m[9] = -(t + b) / (t - b);
  p.m[10] = (f + n) / (f - n);
  p.m[11] = 1.0;
  p.m[14] = -2.0 * f * n / (f - n);
  p.m[15] = 0.0;
  return p;
}

void drawMesh(const DrawItem& item, const Mat4& view) {
  const Uniforms& u = gGl.u;
  const EngineMaterial& m = item.node->material;
  const Mat4 modelView = view * item.world;
  setMatrix4(u.modelView, modelView);
  // Normals go through the inverse transpose, so non-uniform scale keeps them perpendicular.
  const Mat4 inv = inverse(modelView);
  float normal[9];
  for (int col = 0; col < 3; ++col) {
    for (int row = 0; row < 3; ++row) normal[col * 3 + row] = float(inv.at(col, row));
  }
  glUniformMatrix3fv(u.normalMatrix, 1, GL_FALSE, normal);
  glUniform1i(u.normalize, (m.flags & kFlagNormalizeNormals) != 0);
  glUniform1i(u.lighting, (m.flags & kFlagLighting) != 0);
  glUniform1i(u.opaque, !item.blended);
  const int type = m.type == kMaterialDetail || m.type == kMaterialSphereMap ? m.type : 0;
  glUniform1i(u.type, type);
  const auto diffuse = unpackColour(m.diffuse), ambient = unpackColour(m.ambient),
             emissive = unpackColour(m.emissive), global = unpackColour(m.global);
  glUniform4fv(u.diffuse, 1, diffuse.data());
  glUniform4fv(u.ambient, 1, ambient.data());
  glUniform4fv(u.emissive, 1, emissive.data());
  glUniform4fv(u.global, 1, global.data());

  const Filter filter = filterOf(m.flags);
  for (int layer = 0; layer < 2; ++layer) {
    Texture* t = findTexture(m.textures[layer]);
    GLuint name =
        t ? textureObject(*t, filter == FilterTrilinear || filter == FilterAnisotropic) : 0;
    bool mips = t && t->glMipmaps;
    if (!name) {
      name = layer == 0 ? gGl.white : gGl.grey;
      mips = false;
    }
    glActiveTexture(GL_TEXTURE0 + layer);
    glBindTexture(GL_TEXTURE_2D, name);
    glBindSampler(GLuint(layer), gGl.samplers[filter][mips ? 1 : 0]);
  }

  // Mirroring transforms turn the winding round.
  glFrontFace(item.world.determinant3() < 0 ? GL_CCW : GL_CW);
  if (m.flags & kFlagAntiAlias) {
    glEnable(GL_MULTISAMPLE);
  } else {
    glDisable(GL_MULTISAMPLE);
  }
  for (MeshBuffer& b : item.node->buffers) {
    if (b.vertices.empty() || b.indices.size() < 3) continue;
    const GpuBuffer* g = bufferObjects(b);
    if (!g || g->indexCount == 0) continue;
    glBindVertexArray(g->vao);
    glDrawElements(GL_TRIANGLES, g->indexCount, GL_UNSIGNED_INT, nullptr);
  }
}

}  // namespace

void iBeginScene(int r, int g, int b, int a, bool clearColour, bool clearDepth) {
  EngineState& s = state();
  prepareContext();
  glBindFramebuffer(GL_FRAMEBUFFER, s.framebuffer);
  if (s.targetWidth > 0 && s.targetHeight > 0) glViewport(0, 0, s.targetWidth, s.targetHeight);
  GLbitfield mask = 0;
  if (clearColour) {
    auto channel = [](int v) { return float(std::clamp(v, 0, 255)) / 255.0f; };
    glClearColor(channel(r), channel(g), channel(b), channel(a));
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    mask |= GL_COLOR_BUFFER_BIT;
  }
  if (clearDepth) {
    glDepthMask(GL_TRUE);
    mask |= GL_DEPTH_BUFFER_BIT;
  }
  glDisable(GL_SCISSOR_TEST);
  if (mask) glClear(mask);
}

void iDrawScene() {
  EngineState& s = state();
  if (!prepareContext()) return;
  const Node* camera = findNode(s.activeCamera, EngineNodeKind::Camera);
  if (!camera) return;
  int width = s.targetWidth, height = s.targetHeight;
  if (width <= 0 || height <= 0) {
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    width = viewport[2];
    height = viewport[3];
  }
  if (width <= 0 || height <= 0) return;

  const Mat4 cameraWorld = worldMatrix(s.activeCamera);
  const Mat4 view =
      inverse(Mat4::translation(cameraWorld.translationPart()) * cameraWorld.rotationPart());
  const double aspect = s.viewAspect > 0 ? s.viewAspect : double(width) / double(height);
  const Mat4 proj = projection(*camera, aspect, s.viewWindow);

  std::vector<DrawItem> meshes, lights;
  collect(s.root, Mat4::identity(), view, meshes, lights, 0);

  glUseProgram(gGl.program);
  const Uniforms& u = gGl.u;
  setMatrix4(u.projection, proj);
  glUniform1i(u.layer0, 0);
  glUniform1i(u.layer1, 1);
  const auto ambient = unpackColour(s.ambient);
  glUniform3f(u.ambientLight, ambient[0], ambient[1], ambient[2]);
  const int lightCount = std::min<int>(int(lights.size()), kMaxLights);
  float positions[kMaxLights * 3] = {}, colours[kMaxLights * 3] = {}, radii[kMaxLights] = {};
  for (int i = 0; i < lightCount; ++i) {
    const Vec3d p = view.transformPoint(lights[size_t(i)].world.translationPart());
    const auto c = unpackColour(lights[size_t(i)].node->lightColour);
    positions[i * 3] = float(p.x);
    positions[i * 3 + 1] = float(p.y);
    positions[i * 3 + 2] = float(p.z);
    colours[i * 3] = c[0];
    colours[i * 3 + 1] = c[1];
    colours[i * 3 + 2] = c[2];
    radii[i] = lights[size_t(i)].node->radius;
  }
  glUniform1i(u.lightCount, lightCount);
  glUniform3fv(u.lightPosition, kMaxLights, positions);
  glUniform3fv(u.lightColour, kMaxLights, colours);
  glUniform1fv(u.lightRadius, kMaxLights, radii);

  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);

  // Opaque meshes first in scene order, then blended ones from far to near.
  glDisable(GL_BLEND);
  glDepthMask(GL_TRUE);
  for (const DrawItem& item : meshes) {
    if (!item.blended) drawMesh(item, view);
  }
  std::vector<const DrawItem*> blended;
  for (const DrawItem& item : meshes) {
    if (item.blended) blended.push_back(&item);
  }
  std::stable_sort(blended.begin(), blended.end(),
                   [](const DrawItem* a, const DrawItem* b) { return a->depth > b->depth; });
  if (!blended.empty()) {
    glEnable(GL_BLEND);
    // Colour blends as usual; alpha accumulates coverage, so a framebuffer cleared to
    // transparent black ends up holding premultiplied colour.
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_FALSE);
    for (const DrawItem* item : blended) drawMesh(*item, view);
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
  }

  glBindVertexArray(0);
  glActiveTexture(GL_TEXTURE0 + kUploadUnit);
  glBindTexture(GL_TEXTURE_2D, 0);
  for (int layer = 1; layer >= 0; --layer) {
    glActiveTexture(GL_TEXTURE0 + layer);
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindSampler(GLuint(layer), 0);
  }
  glUseProgram(0);
  glFrontFace(GL_CCW);
  glDisable(GL_CULL_FACE);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_MULTISAMPLE);
}

void iEndScene() {
  EngineState& s = state();
  glFlush();
  if (s.present) s.present();
}

void iReleaseGraphics() {
  EngineState& s = state();
  if (gGl.generation == s.glGeneration) {
    for (auto& [handle, node] : s.nodes) {
      for (auto& b : node.buffers) discardGpu(b.gpu);
    }
    for (auto& [handle, texture] : s.textures) discardGpu(texture);
    collectGarbage();
    if (gGl.program) glDeleteProgram(gGl.program);
    for (auto& row : gGl.samplers) glDeleteSamplers(2, row);
    if (gGl.white) glDeleteTextures(1, &gGl.white);
    if (gGl.grey) glDeleteTextures(1, &gGl.grey);
  }
  gGl = GlResources{};
  s.garbage.clear();
  // Whatever is still recorded belongs to no context now.
  ++s.glGeneration;
}
