#include "engine/zov_d3d11_render_view.h"

#include "engine/zov_ffmpeg.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPlatformSurfaceEvent>
#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QSurfaceFormat>
#include <QThread>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/hwcontext.h>
#include <libavutil/pixdesc.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace {

int ElapsedSince(std::chrono::steady_clock::time_point start) {
  return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - start)
                              .count());
}

// All passes share this vertex shader: position x view x projection, passing
// the texture coordinate and colour on.
const char* kVertexShader = R"(#version 330 core
layout(location = 0) in vec3 POSITION;
layout(location = 1) in vec2 TEXCOORD;
layout(location = 2) in vec4 COLOR;
uniform mat4 view;
uniform mat4 projection;
out vec2 texCoord;
out vec4 colour;
void main() {
  gl_Position = projection * view * vec4(POSITION, 1.0);
  texCoord = TEXCOORD;
  colour = COLOR;
}
)";

// d3d11_pixel: the texture as it is.
const char* kPixelShader = R"(#version 330 core
in vec2 texCoord;
in vec4 colour;
uniform sampler2D Texture;
out vec4 fragColor;
void main() { fragColor = texture(Texture, texCoord); }
)";

// The YUV passes differ only in how chroma is read and in the coefficient set.
// First set: studio-range BT.601. Second set: studio-range BT.709.
const char* kFirstSet =
    "const vec3 RRow = vec3(1.1644, 0.0000, 1.5960);\n"
    "const vec3 GRow = vec3(1.1644, -0.3918, -0.8130);\n"
    "const vec3 BRow = vec3(1.1644, 2.0172, 0.0000);\n";
const char* kSecondSet =
    "const vec3 RRow = vec3(1.1644, 0.0000, 1.7927);\n"
    "const vec3 GRow = vec3(1.1644, -0.2132, -0.5329);\n"
    "const vec3 BRow = vec3(1.1644, 2.1124, 0.0000);\n";

const char* kPlanarHead = R"(#version 330 core
in vec2 texCoord;
in vec4 colour;
uniform sampler2D YTexture;
uniform sampler2D UTexture;
uniform sampler2D VTexture;
out vec4 fragColor;
)";
const char* kPlanarBody = R"(
void main() {
  vec3 yuv = vec3(texture(YTexture, texCoord).r, texture(UTexture, texCoord).r,
                  texture(VTexture, texCoord).r) +
             vec3(-0.0627451017, -0.501960814, -0.501960814);
  fragColor = vec4(dot(yuv, RRow), dot(yuv, GRow), dot(yuv, BRow), 1.0);
}
)";
const char* kNv12Head = R"(#version 330 core
in vec2 texCoord;
in vec4 colour;
uniform sampler2D YTexture;
uniform sampler2D UVTexture;
out vec4 fragColor;
)";
const char* kNv12Body = R"(
void main() {
  vec3 yuv = vec3(texture(YTexture, texCoord).r, texture(UVTexture, texCoord).rg) +
             vec3(-0.0627451017, -0.501960814, -0.501960814);
  fragColor = vec4(dot(yuv, RRow), dot(yuv, GRow), dot(yuv, BRow), 1.0);
}
)";

// d3d11_sharpen: unsharp mask over the four neighbours.
const char* kSharpenShader = R"(#version 330 core
in vec2 texCoord;
in vec4 colour;
uniform sampler2D Texture;
layout(std140) uniform SharpenParams { float width; float height; float unsharp; float pad; };
out vec4 fragColor;
void main() {
  vec2 d = vec2(1.0 / width, 1.0 / height);
  vec4 c = texture(Texture, texCoord);
  vec4 blur = (texture(Texture, texCoord + vec2(d.x, 0.0)) + texture(Texture, texCoord - vec2(d.x, 0.0)) +
               texture(Texture, texCoord + vec2(0.0, d.y)) + texture(Texture, texCoord - vec2(0.0, d.y))) * 0.25;
  fragColor = vec4(c.rgb + (c.rgb - blur.rgb) * unsharp, 1.0);
}
)";

std::string FragmentSourceFor(int pass) {
  switch (pass) {
    case CZovD3D11RenderView::kPassRgb: return kPixelShader;
    case CZovD3D11RenderView::kPassYuvBt601: return std::string(kPlanarHead) + kFirstSet + kPlanarBody;
    case CZovD3D11RenderView::kPassYuvBt709: return std::string(kPlanarHead) + kSecondSet + kPlanarBody;
    case CZovD3D11RenderView::kPassNv12Bt601: return std::string(kNv12Head) + kSecondSet + kNv12Body;
    case CZovD3D11RenderView::kPassNv12Bt709: return std::string(kNv12Head) + kFirstSet + kNv12Body;
    case CZovD3D11RenderView::kPassSharpen: return kSharpenShader;
    default: return {};
  }
}

constexpr int kVertexFloats = 9;  // POSITION 3, TEXCOORD 2, COLOR 4: 36 bytes

// Keeps a ZovWindowWatchState up to date from the window's own events. A
// child of the window, so it lives on the window's thread and goes with it.
class ZovWindowWatcher : public QObject {
 public:
  ZovWindowWatcher(QWindow* window, std::shared_ptr<ZovWindowWatchState> state)
      : QObject(window), window_(window), state_(std::move(state)) {
    window->installEventFilter(this);
    connect(window, &QWindow::screenChanged, this, [this] { Refresh(); });
    Refresh();
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != window_) return false;
    switch (event->type()) {
      case QEvent::PlatformSurface:
        OnSurfaceEvent(static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType());
        break;
      case QEvent::Resize:
      case QEvent::Expose:
      case QEvent::Show:
      case QEvent::ScreenChangeInternal:
        Refresh();
        break;
      default:
        break;
    }
    return false;
  }

 private:
  void Refresh() {
    state_->StoreSize(CZovD3D11RenderView::WindowPixelSize(*window_, state_->Size()));
    state_->hasSurface = window_->handle() != nullptr;
  }

  void OnSurfaceEvent(QPlatformSurfaceEvent::SurfaceEventType type) {
    if (type == QPlatformSurfaceEvent::SurfaceCreated) {
      Refresh();
      state_->hasSurface = true;
      return;
    }
    // The surface goes: no presentation may be running into it or start.
    state_->hasSurface = false;
    std::lock_guard<std::mutex> guard(state_->lock);
    if (state_->surfaceGoing) state_->surfaceGoing();
  }

  QWindow* window_;
  std::shared_ptr<ZovWindowWatchState> state_;
};

}  // namespace

void ZovWindowWatchState::StoreSize(QSize size) {
  pixelSize = (std::uint64_t(std::uint32_t(size.width())) << 32) | std::uint32_t(size.height());
}

QSize ZovWindowWatchState::Size() const {
  const std::uint64_t packed = pixelSize.load();
  return QSize(int(packed >> 32), int(packed & 0xffffffffu));
}

QSize CZovD3D11RenderView::WindowPixelSize(const QWindow& window, QSize last) {
  // A window between parents or on a screen being removed has no screen, and
  // its pixel ratio would be read from it.
  if (!window.screen()) return last;
  const qreal ratio = window.devicePixelRatio();
  return QSize(std::max(1, static_cast<int>(window.width() * ratio)),
               std::max(1, static_cast<int>(window.height() * ratio)));
}

CZovD3D11RenderView::CZovD3D11RenderView() = default;

CZovD3D11RenderView::~CZovD3D11RenderView() {
  StopWatching();
  ReleaseAll();
  sws_freeContext(converter);
}

bool CZovD3D11RenderView::Attach(QWindow* renderWindow) {
  // The old watch is cut off before the frame lock is taken: the watch lock
  // comes first in the program's order (a surface going takes the frame lock
  // under it), so it is never taken under the frame lock.
  StopWatching();
  std::lock_guard<std::recursive_mutex> guard(frameLock);
  window = renderWindow;
  WatchWindow();
  return Initialize();
}

void CZovD3D11RenderView::WatchWindow() {
  if (!window || window->thread() != QThread::currentThread()) return;
  // No watcher sees the new state yet, so it is filled in without its lock.
  auto state = std::make_shared<ZovWindowWatchState>();
  state->surfaceGoing = [this] {
    std::lock_guard<std::recursive_mutex> frame(frameLock);
    ReleaseAll();
    contextLost = true;  // rebuilt on the first frame after the surface is back
  };
  watchState = state;
  watcher = new ZovWindowWatcher(window, watchState);
}

void CZovD3D11RenderView::StopWatching() {
  {
    std::lock_guard<std::mutex> guard(watchState->lock);
    watchState->surfaceGoing = nullptr;
  }
  watchState->hasSurface = false;
  // The watcher is a child of the window: it goes on its thread's next turn
  // or with the window; cut off from the view, it only updates its own state.
  if (watcher) watcher->deleteLater();
  watcher = nullptr;
}

bool CZovD3D11RenderView::MakeCurrent() {
  if (!context || !window) return false;
  QThread* here = QThread::currentThread();
  if (context->thread() != here) {
    // Between frames the context belongs to no thread; take it over.
    if (context->thread() != nullptr) return false;
    context->moveToThread(here);
  }
  if (!context->makeCurrent(window)) return false;
  gl = context->extraFunctions();
  return true;
}

void CZovD3D11RenderView::DoneCurrent() {
  if (!context) return;
  context->doneCurrent();
  context->moveToThread(nullptr);
}

bool CZovD3D11RenderView::Initialize() {
  std::lock_guard<std::recursive_mutex> guard(frameLock);
  ReleaseAll();
  contextLost = false;
  if (!window) return false;
  const bool onGuiThread = QGuiApplication::instance() &&
                           QThread::currentThread() == QGuiApplication::instance()->thread();
  QSurfaceFormat format;
  format.setRenderableType(QSurfaceFormat::OpenGL);
  format.setVersion(3, 3);
  format.setProfile(QSurfaceFormat::CoreProfile);
  format.setSwapInterval(0);  // presentation does not wait for vertical blank
  format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
  if (onGuiThread) {
    if (!window->handle()) {
      window->setSurfaceType(QSurface::OpenGLSurface);
      window->setFormat(format);
      window->create();
    }
    if (window->surfaceType() != QSurface::OpenGLSurface || !window->handle()) {
      std::printf("render window is not an OpenGL surface.\n");
      return false;
    }
  } else if (!watchState->hasSurface) {
    return false;  // another thread only rebuilds on a surface the window still has
  }
  context = std::make_unique<QOpenGLContext>();
  context->setFormat(format);
  if (!context->create()) {
    std::printf("QOpenGLContext::create() failed.\n");
    context.reset();
    return false;
  }
  const QSurfaceFormat got = context->format();
  if (got.version() < qMakePair(3, 3) || got.profile() != QSurfaceFormat::CoreProfile) {
    std::printf("OpenGL 3.3 core is not available (got %d.%d).\n", got.majorVersion(),
                got.minorVersion());
    context.reset();
    return false;
  }
  featureLevel = got.majorVersion() * 10 + got.minorVersion();
  if (!MakeCurrent()) {
    std::printf("QOpenGLContext::makeCurrent() failed.\n");
    context->moveToThread(nullptr);
    context.reset();
    return false;
  }
  const char* renderer = reinterpret_cast<const char*>(gl->glGetString(GL_RENDERER));
  driverType = (renderer && (std::strstr(renderer, "llvmpipe") || std::strstr(renderer, "softpipe")))
                   ? 4
                   : 1;
  const bool ok = CreateTargets();
  DoneCurrent();
  if (!ok) {
    ReleaseAll();
    return false;
  }
  ++initializeCount;
  return true;
}

bool CZovD3D11RenderView::CreateTargets() {
  const QSize client = ClientPixelSize();
  const int clientWidth = std::max(1, client.width());
  const int clientHeight = std::max(1, client.height());
  const int minSize = FollowsClient() ? 1 : kMinBackBufferSize;
  backBufferWidth = std::max(clientWidth, minSize);
  backBufferHeight = std::max(clientHeight, minSize);

  // The back buffer and the pass textures are 8-bit RGBA. They are made
  // unsized with BGRA client data so that Mesa keeps them as B8G8R8A8, the
  // layout of the window: its software renderer then copies the pass texture
  // into the back buffer without conversion and stretches the back buffer
  // onto the window on its fixed-point path instead of the general shader
  // path (about a sixth fewer instructions a 1080p frame).
  gl->glGenTextures(1, &backBuffer);
  gl->glBindTexture(GL_TEXTURE_2D, backBuffer);
  gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, backBufferWidth, backBufferHeight, 0, GL_BGRA,
                   GL_UNSIGNED_BYTE, nullptr);
  gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  gl->glGenFramebuffers(1, &backBufferTarget);
  gl->glBindFramebuffer(GL_FRAMEBUFFER, backBufferTarget);
  gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, backBuffer, 0);
  if (gl->glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
    std::printf("back buffer framebuffer is incomplete.\n");
    return false;
  }
  gl->glClearColor(0, 0, 0, 1);
  gl->glClear(GL_COLOR_BUFFER_BIT);

  for (int k = 1; k < kPassCount; ++k) {
    if (!CreateOutputPass(k)) return false;
  }
  if (!CreatePassObjects(stretchPass, kPixelShader, false)) return false;
  gl->glGenBuffers(1, &sharpenParams);
  gl->glBindBuffer(GL_UNIFORM_BUFFER, sharpenParams);
  const float params[4] = {float(backBufferWidth), float(backBufferHeight), sharpenStrength, 0};
  gl->glBufferData(GL_UNIFORM_BUFFER, sizeof(params), params, GL_DYNAMIC_DRAW);
  gl->glBindBuffer(GL_UNIFORM_BUFFER, 0);

  gl->glGenSamplers(1, &pointSampler);
  gl->glGenSamplers(1, &linearSampler);
  for (unsigned sampler : {pointSampler, linearSampler}) {
    const bool linear = sampler == linearSampler;
    gl->glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, linear ? GL_LINEAR : GL_NEAREST);
    gl->glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, linear ? GL_LINEAR : GL_NEAREST);
    gl->glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gl->glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    gl->glSamplerParameteri(sampler, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    gl->glSamplerParameterf(sampler, GL_TEXTURE_MIN_LOD, 0.0f);
    gl->glSamplerParameterf(sampler, GL_TEXTURE_MAX_LOD, 3.402823466e38f);
  }
  gl->glBindFramebuffer(GL_FRAMEBUFFER, context->defaultFramebufferObject());
  return gl->glGetError() == GL_NO_ERROR;
}

bool CZovD3D11RenderView::CreateOutputPass(int index) {
  return CreatePassObjects(outputPasses[index], FragmentSourceFor(index), index == kPassSharpen);
}

bool CZovD3D11RenderView::CreatePassObjects(ZovD3D11Pass& pass, const std::string& fragment,
                                            bool sharpen) {
  auto compile = [this](GLenum type, const std::string& source) -> unsigned {
    unsigned shader = gl->glCreateShader(type);
    const char* text = source.c_str();
    gl->glShaderSource(shader, 1, &text, nullptr);
    gl->glCompileShader(shader);
    int ok = 0;
    gl->glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
      char log[1024] = {};
      gl->glGetShaderInfoLog(shader, sizeof(log) - 1, nullptr, log);
      std::printf("glCompileShader() failed, %s\n", log);
      gl->glDeleteShader(shader);
      return 0;
    }
    return shader;
  };
  unsigned vs = compile(GL_VERTEX_SHADER, kVertexShader);
  unsigned fs = compile(GL_FRAGMENT_SHADER, fragment);
  if (!vs || !fs) {
    if (vs) gl->glDeleteShader(vs);
    if (fs) gl->glDeleteShader(fs);
    return false;
  }
  pass.program = gl->glCreateProgram();
  gl->glAttachShader(pass.program, vs);
  gl->glAttachShader(pass.program, fs);
  gl->glLinkProgram(pass.program);
  gl->glDeleteShader(vs);
  gl->glDeleteShader(fs);
  int linked = 0;
  gl->glGetProgramiv(pass.program, GL_LINK_STATUS, &linked);
  if (!linked) {
    std::printf("glLinkProgram() failed.\n");
    return false;
  }
  gl->glUseProgram(pass.program);
  pass.viewLocation = gl->glGetUniformLocation(pass.program, "view");
  pass.projectionLocation = gl->glGetUniformLocation(pass.program, "projection");
  // Texture units: t0..t2 as in the shader table.
  const char* units[] = {"Texture", "YTexture", "UTexture", "VTexture", "UVTexture"};
  for (const char* unit : units) {
    int location = gl->glGetUniformLocation(pass.program, unit);
    if (location < 0) continue;
    int slot = 0;
    if (std::strcmp(unit, "UTexture") == 0 || std::strcmp(unit, "UVTexture") == 0) slot = 1;
    if (std::strcmp(unit, "VTexture") == 0) slot = 2;
    gl->glUniform1i(location, slot);
  }
  if (sharpen) {
    unsigned block = gl->glGetUniformBlockIndex(pass.program, "SharpenParams");
    if (block != GL_INVALID_INDEX) gl->glUniformBlockBinding(pass.program, block, 0);
  }
  gl->glUseProgram(0);

  gl->glGenVertexArrays(1, &pass.vertexArray);
  gl->glGenBuffers(1, &pass.vertices);
  gl->glBindVertexArray(pass.vertexArray);
  gl->glBindBuffer(GL_ARRAY_BUFFER, pass.vertices);
  gl->glBufferData(GL_ARRAY_BUFFER, 4 * kVertexFloats * sizeof(float), nullptr, GL_DYNAMIC_DRAW);
  const int stride = kVertexFloats * sizeof(float);
  gl->glEnableVertexAttribArray(0);
  gl->glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, nullptr);
  gl->glEnableVertexAttribArray(1);
  gl->glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, stride,
                            reinterpret_cast<void*>(3 * sizeof(float)));
  gl->glEnableVertexAttribArray(2);
  gl->glVertexAttribPointer(2, 4, GL_FLOAT, GL_FALSE, stride,
                            reinterpret_cast<void*>(5 * sizeof(float)));
  gl->glBindVertexArray(0);
  gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
  return true;
}

void CZovD3D11RenderView::ResizeBackBuffer(int width, int height) {
  if (width == backBufferWidth && height == backBufferHeight) return;
  backBufferWidth = width;
  backBufferHeight = height;
  // New storage for the same texture: the framebuffer keeps it attached; the
  // pass textures follow on their next draw (EnsurePassTexture).
  gl->glBindTexture(GL_TEXTURE_2D, backBuffer);
  gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
  gl->glBindFramebuffer(GL_FRAMEBUFFER, backBufferTarget);
  gl->glViewport(0, 0, width, height);
  gl->glClearColor(0, 0, 0, 1);
  gl->glClear(GL_COLOR_BUFFER_BIT);
  const float params[4] = {float(width), float(height), sharpenStrength, 0};
  gl->glBindBuffer(GL_UNIFORM_BUFFER, sharpenParams);
  gl->glBufferData(GL_UNIFORM_BUFFER, sizeof(params), params, GL_DYNAMIC_DRAW);
  gl->glBindBuffer(GL_UNIFORM_BUFFER, 0);
}

// Pass textures have the back buffer's size; they are made on the pass's first
// draw so that the passes no frame format uses cost no memory.
bool CZovD3D11RenderView::EnsurePassTexture(ZovD3D11Pass& pass) {
  if (pass.texture && pass.width == backBufferWidth && pass.height == backBufferHeight) return true;
  if (pass.renderTarget) gl->glDeleteFramebuffers(1, &pass.renderTarget);
  if (pass.texture) gl->glDeleteTextures(1, &pass.texture);
  pass.width = backBufferWidth;
  pass.height = backBufferHeight;
  pass.internalFormat = GL_RGBA;  // unsized, stored like the back buffer (see CreateTargets)
  gl->glGenTextures(1, &pass.texture);
  gl->glBindTexture(GL_TEXTURE_2D, pass.texture);
  gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, pass.width, pass.height, 0, GL_BGRA,
                   GL_UNSIGNED_BYTE, nullptr);
  gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  gl->glGenFramebuffers(1, &pass.renderTarget);
  gl->glBindFramebuffer(GL_FRAMEBUFFER, pass.renderTarget);
  gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, pass.texture, 0);
  const bool complete = gl->glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  if (!complete) std::printf("pass framebuffer is incomplete.\n");
  return complete;
}

// Loads the pass's vertices (in pixels of a w x h target, y downwards) and
// makes its program current with the matrices for that target.
void CZovD3D11RenderView::UsePassInPixels(ZovD3D11Pass& pass, const float* vertices, size_t bytes, float w,
                                          float h) {
  gl->glBindBuffer(GL_ARRAY_BUFFER, pass.vertices);
  gl->glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes), vertices, GL_DYNAMIC_DRAW);
  gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
  // view = identity; projection maps x 0..w and y 0..h (downwards) onto the
  // viewport (column-major).
  const float view[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  const float projection[16] = {2.0f / w, 0, 0, 0, 0, -2.0f / h, 0, 0, 0, 0, 1, 0, -1, 1, 0, 1};
  gl->glDisable(GL_CULL_FACE);
  gl->glDisable(GL_DEPTH_TEST);
  gl->glDisable(GL_BLEND);
  gl->glUseProgram(pass.program);
  gl->glUniformMatrix4fv(pass.viewLocation, 1, GL_FALSE, view);
  gl->glUniformMatrix4fv(pass.projectionLocation, 1, GL_FALSE, projection);
}

void CZovD3D11RenderView::DrawPass(ZovD3D11Pass& pass) {
  if (!pass.program || !EnsurePassTexture(pass)) return;
  const float w = float(pass.width);
  const float h = float(pass.height);
  // Corners of the pass texture in pixels, as a triangle strip, colour (0,1,0,1).
  const float vertices[4 * kVertexFloats] = {
      0, 0, 0, 0, 0, 0, 1, 0, 1,  //
      0, h, 0, 0, 1, 0, 1, 0, 1,  //
      w, 0, 0, 1, 0, 0, 1, 0, 1,  //
      w, h, 0, 1, 1, 0, 1, 0, 1,  //
  };
  gl->glBindFramebuffer(GL_FRAMEBUFFER, pass.renderTarget);
  gl->glViewport(0, 0, backBufferWidth, backBufferHeight);
  gl->glClearColor(0, 0, 0, 1);
  gl->glClear(GL_COLOR_BUFFER_BIT);
  UsePassInPixels(pass, vertices, sizeof(vertices), w, h);
  gl->glBindVertexArray(pass.vertexArray);
  gl->glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  gl->glBindVertexArray(0);
  gl->glUseProgram(0);
  for (int unit = 2; unit >= 0; --unit) {
    gl->glActiveTexture(GL_TEXTURE0 + unit);
    gl->glBindTexture(GL_TEXTURE_2D, 0);
  }
  gl->glBindFramebuffer(GL_FRAMEBUFFER, backBufferTarget);
  lastPass = &pass;
}

void CZovD3D11RenderView::ReleaseInputTextures() {
  for (ZovD3D11Pass& pass : inputPasses) {
    if (gl && context) {
      if (pass.texture) gl->glDeleteTextures(1, &pass.texture);
      if (pass.chromaTexture) gl->glDeleteTextures(1, &pass.chromaTexture);
    }
    pass = ZovD3D11Pass{};
  }
}

bool CZovD3D11RenderView::CreateInputTextures(int format, int width, int height) {
  ReleaseInputTextures();
  auto make = [this](unsigned& name, int w, int h, GLenum internal, GLenum pixelFormat) {
    gl->glGenTextures(1, &name);
    gl->glBindTexture(GL_TEXTURE_2D, name);
    gl->glTexImage2D(GL_TEXTURE_2D, 0, internal, w, h, 0, pixelFormat, GL_UNSIGNED_BYTE, nullptr);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  };
  const int halfW = (width + 1) / 2;
  const int halfH = (height + 1) / 2;
  switch (format) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P:
      make(inputPasses[3].texture, width, height, GL_R8, GL_RED);
      make(inputPasses[4].texture, halfW, halfH, GL_R8, GL_RED);
      make(inputPasses[5].texture, halfW, halfH, GL_R8, GL_RED);
      break;
    case AV_PIX_FMT_YUV444P:
      for (int k = 3; k <= 5; ++k) make(inputPasses[k].texture, width, height, GL_R8, GL_RED);
      break;
    case AV_PIX_FMT_NV12:
      make(inputPasses[2].texture, width, height, GL_R8, GL_RED);
      make(inputPasses[2].chromaTexture, halfW, halfH, GL_RG8, GL_RG);
      break;
    case AV_PIX_FMT_ARGB: {
      // Bytes A, R, G, B land in r, g, b, a; the swizzle reads them back as RGBA.
      make(inputPasses[1].texture, width, height, GL_RGBA8, GL_RGBA);
      const int swizzle[4] = {GL_GREEN, GL_BLUE, GL_ALPHA, GL_RED};
      gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_R, swizzle[0]);
      gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_G, swizzle[1]);
      gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_B, swizzle[2]);
      gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, swizzle[3]);
      break;
    }
    default:
      break;  // no textures: the frame is not drawn
  }
  currentFormat = format;
  widthHint = width;
  heightHint = height;
  ++inputGeneration;
  return true;
}

void CZovD3D11RenderView::UploadPlane(unsigned texture, int width, int height, int bytesPerPixel,
                                      unsigned format, const uint8_t* data, int lineSize) {
  if (!texture || !data || width <= 0 || height <= 0) return;
  gl->glBindTexture(GL_TEXTURE_2D, texture);
  gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  const int rowBytes = width * bytesPerPixel;
  if (lineSize >= rowBytes && lineSize % bytesPerPixel == 0) {
    gl->glPixelStorei(GL_UNPACK_ROW_LENGTH, lineSize / bytesPerPixel);
    gl->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, format, GL_UNSIGNED_BYTE, data);
    gl->glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    return;
  }
  // Bottom-up or short lines: one row at a time, never more than the source line.
  const int copyBytes = std::min(rowBytes, lineSize < 0 ? -lineSize : lineSize);
  if (copyBytes < rowBytes) return;  // a line shorter than the picture: skip the plane
  for (int y = 0; y < height; ++y) {
    gl->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, y, width, 1, format, GL_UNSIGNED_BYTE,
                        data + static_cast<ptrdiff_t>(y) * lineSize);
  }
}

int CZovD3D11RenderView::RenderFrame(AVFrame* frame) {
  std::lock_guard<std::recursive_mutex> guard(frameLock);
  if (!frame || !window) return 0;
  // A window without a surface (hidden with its container, between parents)
  // is not drawn; its context was dropped and is rebuilt once the surface is back.
  if (!watchState->hasSurface) return 0;
  if (contextLost || (context && !context->isValid())) {
    // A lost context is answered by a full re-initialisation; the frame is lost.
    const auto start = std::chrono::steady_clock::now();
    Initialize();
    return ElapsedSince(start);
  }
  if (!context) return 0;
  const auto start = std::chrono::steady_clock::now();
  if (!MakeCurrent()) {
    DoneCurrent();
    Initialize();
    return ElapsedSince(start);
  }
  if (FollowsClient()) {
    // The back buffer takes the size the picture is shown at.
    const QSize client = ClientPixelSize().expandedTo(QSize(1, 1));
    const ZovPictureRect rect = PictureRect(client.width(), client.height(), frame->width, frame->height,
                                            frame->sample_aspect_ratio.num, frame->sample_aspect_ratio.den);
    ResizeBackBuffer(std::max(1, rect.width), std::max(1, rect.height));
  }
  if (frame->hw_frames_ctx) {
    RenderHardwareFrame(frame);
  } else {
    RenderSoftwareFrame(ReadableByPasses(frame));
  }
  DoneCurrent();
  return ElapsedSince(start);
}

namespace {

bool PassReads(int format) {
  switch (format) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUV444P:
    case AV_PIX_FMT_NV12:
    case AV_PIX_FMT_ARGB:
      return true;
    default:
      return false;
  }
}

// Decoders hand out YUV pictures in more layouts than the passes read: the
// 4:2:2 pictures of motion-JPEG cameras, 10-bit video, grey. Those are
// converted; RGB, palette and hardware formats are not.
bool ConvertibleYuv(int format) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format));
  constexpr uint64_t kNotYuv =
      AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BITSTREAM;
  return d && (d->flags & kNotYuv) == 0;
}

}  // namespace

AVFrame* CZovD3D11RenderView::ReadableByPasses(AVFrame* frame) {
  const int w = frame->width;
  const int h = frame->height;
  if (PassReads(frame->format) || !ConvertibleYuv(frame->format) || w <= 0 || h <= 0) return frame;
  converter = sws_getCachedContext(converter, w, h, static_cast<AVPixelFormat>(frame->format), w, h,
                                   AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (!converter) return frame;
  if (!converted || converted->width != w || converted->height != h) {
    converted.reset(av_frame_alloc());
    if (!converted) return frame;
    converted->format = AV_PIX_FMT_YUV420P;
    converted->width = w;
    converted->height = h;
    if (av_frame_get_buffer(converted.get(), 0) < 0) {
      converted.reset();
      return frame;
    }
  }
  if (sws_scale(converter, frame->data, frame->linesize, 0, h, converted->data, converted->linesize) != h)
    return frame;
  converted->sample_aspect_ratio = frame->sample_aspect_ratio;
  return converted.get();
}

void CZovD3D11RenderView::RenderHardwareFrame(AVFrame* frame) {
  AVFrameUPtr transferred(av_frame_alloc());
  if (!transferred) return;
  transferred->format = AV_PIX_FMT_NV12;
  if (av_hwframe_transfer_data(transferred.get(), frame, 0) < 0) {
    std::printf("av_hwframe_transfer_data() failed.\n");
  } else {
    RenderSoftwareFrame(transferred.get());
  }
}

ZovPictureRect CZovD3D11RenderView::PictureRect(int clientWidth, int clientHeight, int pictureWidth,
                                                int pictureHeight, int sarNum, int sarDen) {
  ZovPictureRect whole{0, 0, clientWidth, clientHeight};
  if (clientWidth <= 0 || clientHeight <= 0 || pictureWidth <= 0 || pictureHeight <= 0) return whole;
  if (sarNum <= 0 || sarDen <= 0) sarNum = sarDen = 1;
  const double aspect = double(pictureWidth) * sarNum / (double(pictureHeight) * sarDen);
  ZovPictureRect r = whole;
  if (double(clientWidth) / clientHeight > aspect) {
    r.width = static_cast<int>(clientHeight * aspect + 0.5);  // bars left and right
  } else {
    r.height = static_cast<int>(clientWidth / aspect + 0.5);  // bars above and below
  }
  if (clientWidth - r.width <= 1 && clientHeight - r.height <= 1) return whole;
  r.x = (clientWidth - r.width) / 2;
  r.y = (clientHeight - r.height) / 2;
  return r;
}

int CZovD3D11RenderView::RenderSoftwareFrame(AVFrame* frame) {
  const int w = frame->width;
  const int h = frame->height;
  pictureWidth = w;
  pictureHeight = h;
  sarNum = frame->sample_aspect_ratio.num;
  sarDen = frame->sample_aspect_ratio.den;
  if (frame->format != currentFormat || w != widthHint || h != heightHint) {
    CreateInputTextures(frame->format, w, h);
  }
  // The YUV and NV12 passes read their planes with the point sampler: the
  // picture is resampled once more (with linear filtering) when the back
  // buffer is stretched onto the window, and three filtered reads a pixel
  // were the largest single cost of a software renderer at 1080p. The RGB
  // pass keeps the linear sampler.
  auto bindInputs = [this](std::initializer_list<unsigned> textures, unsigned sampler) {
    int unit = 0;
    for (unsigned texture : textures) {
      gl->glActiveTexture(GL_TEXTURE0 + unit);
      gl->glBindTexture(GL_TEXTURE_2D, texture);
      gl->glBindSampler(unit, sampler);
      ++unit;
    }
    gl->glBindSampler(3, sampler == linearSampler ? pointSampler : linearSampler);
    gl->glActiveTexture(GL_TEXTURE0);
  };
  // The target pass texture is made before any input is bound to a unit.
  int target = kPassNone;
  switch (frame->format) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUV444P: target = kPassYuvBt601; break;
    case AV_PIX_FMT_NV12: target = kPassNv12Bt601; break;
    case AV_PIX_FMT_ARGB: target = kPassRgb; break;
    default: break;
  }
  if (target != kPassNone && !EnsurePassTexture(outputPasses[target])) target = kPassNone;
  // The pass texture has the back buffer's size and is copied over all of it,
  // so the back buffer is cleared to black only when no pass draws: a clear
  // that the copy overwrites costs a full-size fill for nothing.
  gl->glBindFramebuffer(GL_FRAMEBUFFER, backBufferTarget);
  if (target == kPassNone) {
    gl->glViewport(0, 0, backBufferWidth, backBufferHeight);
    gl->glClearColor(0, 0, 0, 1);
    gl->glClear(GL_COLOR_BUFFER_BIT);
  }
  const int halfW = (w + 1) / 2;
  const int halfH = (h + 1) / 2;
  switch (target == kPassNone ? AV_PIX_FMT_NONE : frame->format) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUV444P: {
      const bool full = frame->format == AV_PIX_FMT_YUV444P;
      UploadPlane(inputPasses[3].texture, w, h, 1, GL_RED, frame->data[0], frame->linesize[0]);
      UploadPlane(inputPasses[4].texture, full ? w : halfW, full ? h : halfH, 1, GL_RED,
                  frame->data[1], frame->linesize[1]);
      UploadPlane(inputPasses[5].texture, full ? w : halfW, full ? h : halfH, 1, GL_RED,
                  frame->data[2], frame->linesize[2]);
      bindInputs({inputPasses[3].texture, inputPasses[4].texture, inputPasses[5].texture},
                 pointSampler);
      DrawPass(outputPasses[kPassYuvBt601]);
      break;
    }
    case AV_PIX_FMT_NV12:
      UploadPlane(inputPasses[2].texture, w, h, 1, GL_RED, frame->data[0], frame->linesize[0]);
      UploadPlane(inputPasses[2].chromaTexture, halfW, halfH, 2, GL_RG, frame->data[1],
                  frame->linesize[1]);
      bindInputs({inputPasses[2].texture, inputPasses[2].chromaTexture}, pointSampler);
      DrawPass(outputPasses[kPassNv12Bt601]);
      break;
    case AV_PIX_FMT_ARGB:
      UploadPlane(inputPasses[1].texture, w, h, 4, GL_RGBA, frame->data[0], frame->linesize[0]);
      bindInputs({inputPasses[1].texture}, linearSampler);
      DrawPass(outputPasses[kPassRgb]);
      break;
    default:
      break;  // unsupported format: the cleared (black) back buffer is presented
  }
  if (lastPass) {
    gl->glBindFramebuffer(GL_READ_FRAMEBUFFER, lastPass->renderTarget);
    gl->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, backBufferTarget);
    gl->glBlitFramebuffer(0, 0, lastPass->width, lastPass->height, 0, 0, backBufferWidth,
                          backBufferHeight, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    lastPass = nullptr;
  }
  Present();
  return 0;
}

void CZovD3D11RenderView::Present() {
  const QSize client = ClientPixelSize();
  const int clientWidth = std::max(1, client.width());
  const int clientHeight = std::max(1, client.height());
  const unsigned screen = context->defaultFramebufferObject();
  // The back buffer is drawn at the picture's display aspect; what it does
  // not cover is black.
  gl->glBindFramebuffer(GL_FRAMEBUFFER, screen);
  const ZovPictureRect rect = PictureRect(clientWidth, clientHeight, pictureWidth, pictureHeight, sarNum, sarDen);
  if (rect.width != clientWidth || rect.height != clientHeight) {
    gl->glViewport(0, 0, clientWidth, clientHeight);
    gl->glClearColor(0, 0, 0, 1);
    gl->glClear(GL_COLOR_BUFFER_BIT);
  }
  DrawStretch(clientWidth, clientHeight, rect);
  if (captureNext) {
    gl->glBindFramebuffer(GL_READ_FRAMEBUFFER, screen);
    QImage image(clientWidth, clientHeight, QImage::Format_RGBA8888);
    gl->glPixelStorei(GL_PACK_ALIGNMENT, 4);
    gl->glReadPixels(0, 0, clientWidth, clientHeight, GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
    captured = image.mirrored();
    captureNext = false;
  }
  gl->glBindFramebuffer(GL_FRAMEBUFFER, screen);
  context->swapBuffers(window);
  if (!context->isValid()) contextLost = true;  // rebuilt on the next frame
}

// Draws the back buffer over `rect` of the client area with the d3d11_pixel
// program and the linear sampler. A textured draw costs Mesa's software
// renderer about a quarter fewer instructions per frame than a filtered
// glBlitFramebuffer of the same rectangles. The window's rows run bottom-up
// like the back buffer's, so the top edge of the quad samples its top row.
void CZovD3D11RenderView::DrawStretch(int clientWidth, int clientHeight, const ZovPictureRect& rect) {
  const float w = float(clientWidth);
  const float h = float(clientHeight);
  const float l = float(rect.x);
  const float t = float(rect.y);
  const float r = float(rect.x + rect.width);
  const float b = float(rect.y + rect.height);
  // Two triangles in window pixels (y downwards), colour (0,1,0,1).
  const float vertices[6 * kVertexFloats] = {
      l, t, 0, 0, 1, 0, 1, 0, 1,  //
      l, b, 0, 0, 0, 0, 1, 0, 1,  //
      r, b, 0, 1, 0, 0, 1, 0, 1,  //
      l, t, 0, 0, 1, 0, 1, 0, 1,  //
      r, b, 0, 1, 0, 0, 1, 0, 1,  //
      r, t, 0, 1, 1, 0, 1, 0, 1,  //
  };
  gl->glViewport(0, 0, clientWidth, clientHeight);
  UsePassInPixels(stretchPass, vertices, sizeof(vertices), w, h);
  gl->glActiveTexture(GL_TEXTURE0);
  gl->glBindTexture(GL_TEXTURE_2D, backBuffer);
  gl->glBindSampler(0, linearSampler);
  gl->glBindVertexArray(stretchPass.vertexArray);
  gl->glDrawArrays(GL_TRIANGLES, 0, 6);
  gl->glBindVertexArray(0);
  gl->glUseProgram(0);
  gl->glBindTexture(GL_TEXTURE_2D, 0);
}

void CZovD3D11RenderView::CaptureNextFrame() {
  std::lock_guard<std::recursive_mutex> guard(frameLock);
  captureNext = true;
  captured = QImage();
}

QImage CZovD3D11RenderView::CapturedImage() {
  std::lock_guard<std::recursive_mutex> guard(frameLock);
  return captured;
}

QImage CZovD3D11RenderView::BackBufferImage() {
  std::lock_guard<std::recursive_mutex> guard(frameLock);
  if (!context || !MakeCurrent()) return {};
  QImage image(backBufferWidth, backBufferHeight, QImage::Format_RGBA8888);
  gl->glBindFramebuffer(GL_READ_FRAMEBUFFER, backBufferTarget);
  gl->glPixelStorei(GL_PACK_ALIGNMENT, 4);
  gl->glReadPixels(0, 0, backBufferWidth, backBufferHeight, GL_RGBA, GL_UNSIGNED_BYTE,
                   image.bits());
  gl->glBindFramebuffer(GL_FRAMEBUFFER, context->defaultFramebufferObject());
  DoneCurrent();
  return image.mirrored();
}

ZovPictureRect CZovD3D11RenderView::LastPictureRect(int clientWidth, int clientHeight) {
  std::lock_guard<std::recursive_mutex> guard(frameLock);
  return PictureRect(clientWidth, clientHeight, pictureWidth, pictureHeight, sarNum, sarDen);
}

void CZovD3D11RenderView::SimulateContextLoss() {
  std::lock_guard<std::recursive_mutex> guard(frameLock);
  contextLost = true;
}

bool CZovD3D11RenderView::Resize() {
  std::lock_guard<std::recursive_mutex> guard(frameLock);
  // Rebuilding the targets means rebuilding everything bound to the old size;
  // a failure recovers as a lost context does.
  return Initialize();
}

void CZovD3D11RenderView::ReleaseAll() {
  std::lock_guard<std::recursive_mutex> guard(frameLock);
  // Destroying the context frees every texture, framebuffer, buffer, program
  // and sampler made on it.
  if (context) {
    if (context->thread() == nullptr) context->moveToThread(QThread::currentThread());
    context.reset();
  }
  gl = nullptr;
  for (ZovD3D11Pass& pass : inputPasses) pass = ZovD3D11Pass{};
  for (ZovD3D11Pass& pass : outputPasses) pass = ZovD3D11Pass{};
  stretchPass = ZovD3D11Pass{};
  backBuffer = backBufferTarget = 0;
  pointSampler = linearSampler = sharpenParams = 0;
  lastPass = nullptr;
  currentFormat = -1;
}
