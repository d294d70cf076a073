#pragma once
// The channel view of the software and hardware-accelerated decode modes.
// Renders with OpenGL 3.3 core (through its own QOpenGLContext on the pane's
// QWindow), keeping the pass design of the original Direct3D 11 view:
//
//   uploaded planes (input textures, one set per pixel format)
//     -> one output pass draws a full-target quad with a YUV/NV12/RGB shader
//        into its own texture of back-buffer size
//     -> that pass texture is copied into the back buffer (at least 1280 x 1280)
//     -> the back buffer is drawn onto the window (linear filtering) at the
//        picture's display aspect, centred, with black bars, and swapped.
//
// Threads: Attach runs on the user-interface thread and creates the context;
// RenderFrame runs on the channel's scheduler thread. Between calls the context
// belongs to no thread, and each RenderFrame pulls it onto the calling thread,
// so the view may be driven from any one thread at a time (frameLock).
// The scheduler thread never touches the QWindow or its QScreen: the size in
// device pixels and whether the window has a surface are kept by a watcher on
// the user-interface thread (ZovWindowWatchState) and read from atomics.
#include <QImage>
#include <QPointer>
#include <QSize>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "engine/zov_ffmpeg.h"
#include "engine/zov_render_view.h"

class QOpenGLContext;
class QOpenGLExtraFunctions;
struct SwsContext;

// Where a picture goes in a window: x, y from the top left, in pixels.
struct ZovPictureRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const ZovPictureRect&) const = default;
};

// One texture with the objects needed to draw into it or to sample it.
struct ZovD3D11Pass {
  unsigned texture = 0;        // GL texture name (NV12: the luma plane)
  unsigned chromaTexture = 0;  // NV12 input: the interleaved chroma plane (RG8)
  unsigned renderTarget = 0;   // framebuffer object on `texture` (output passes)
  unsigned program = 0;        // linked vertex + fragment program; 0 for none
  unsigned vertexArray = 0;    // vertex layout: POSITION 3, TEXCOORD 2, COLOR 4
  unsigned vertices = 0;       // four vertices, rewritten on every draw
  int viewLocation = -1;       // `view` and `projection` uniforms
  int projectionLocation = -1;
  int width = 0;
  int height = 0;
  unsigned internalFormat = 0;  // of `texture`
};

// What the user-interface thread knows of a render window, for the thread
// that presents into it. Written by the window's watcher (Attach, resize,
// expose, screen change, surface creation and destruction), read anywhere.
struct ZovWindowWatchState {
  // Client size in device pixels, width in the high half: read as one value so
  // a presentation never pairs a new width with an old height.
  std::atomic<std::uint64_t> pixelSize{0};
  std::atomic<bool> hasSurface{false};
  // Called on the user-interface thread just before the window's surface goes
  // (the view drops its context under its frame lock); guarded by `lock`,
  // cleared by the view's destructor.
  std::mutex lock;
  std::function<void()> surfaceGoing;

  void StoreSize(QSize size);
  QSize Size() const;
};

class CZovD3D11RenderView : public CZovRenderView {
 public:
  // Output pass numbers (index into outputPasses).
  enum Pass {
    kPassNone = 0,
    kPassRgb = 1,         // d3d11_pixel
    kPassYuvBt601 = 2,    // d3d11_yuv_bt601: planar YUV, first coefficient set
    kPassYuvBt709 = 3,    // d3d11_yuv_bt709: second set, no frame format uses it
    kPassNv12Bt601 = 4,   // d3d11_nv12_bt601: NV12, second set (name kept as designed)
    kPassNv12Bt709 = 5,   // d3d11_nv12_bt709: first set, unused
    kPassSharpen = 6,     // d3d11_sharpen: runs only with sharpenStrength > 0
    kPassCount = 7
  };
  // The back buffer is never smaller than this in either direction ...
  static constexpr int kMinBackBufferSize = 1280;
  // ... unless this is set (before Attach) and the renderer is software:
  // then the back buffer takes the size the picture is shown at in the
  // window (the window's size before the first picture), since the processor
  // draws each of its pixels: a 1280 x 1280 back buffer behind a 16:9
  // picture in a third of a 1080p window (640 x 360) is seven times the
  // drawing. It follows the window and the picture at each frame.
  bool followClientOnSoftware = false;
  // Whether the back buffer takes the window's size (software renderer and
  // followClientOnSoftware).
  bool FollowsClient() const { return followClientOnSoftware && driverType == 4; }

  // The largest rectangle of the picture's display aspect (width x sample
  // aspect sarNum/sarDen : height) centred in a client area; the whole area
  // when the picture's size is unknown or the aspect differs by less than a
  // pixel. An unknown sample aspect (0 or negative) counts as square.
  static ZovPictureRect PictureRect(int clientWidth, int clientHeight, int pictureWidth, int pictureHeight,
                                    int sarNum, int sarDen);

  CZovD3D11RenderView();
  ~CZovD3D11RenderView() override;

  bool Reinitialize() override { return Initialize(); }
  // Stores the window and initialises on it (user-interface thread).
  bool Attach(QWindow* renderWindow) override;
  int RenderFrame(AVFrame* frame) override;
  // Whether a frame would be drawn now: the window has a surface (a lost
  // context is rebuilt by the next frame).
  bool IsReady() override { return window && watchState->hasSurface; }

  virtual bool Initialize();
  // Releases every GL object and pass; currentFormat becomes -1.
  virtual void ReleaseAll();
  // Rebuilds the targets for the window's current size (nothing calls it in the
  // player; the back buffer keeps its first size).
  virtual bool Resize();
  // Frames that live in a hardware device: transferred to NV12 in system memory
  // and drawn through the NV12 pass.
  virtual void RenderHardwareFrame(AVFrame* frame);

  // Client size in device pixels as the user-interface thread last saw it.
  QSize ClientPixelSize() const { return watchState->Size(); }
  // Reads a window's client size in device pixels (user-interface thread);
  // `last` when the window has no screen to give its pixel ratio.
  static QSize WindowPixelSize(const QWindow& window, QSize last);

  // Test and tool support. The next RenderFrame keeps a copy of the presented
  // window picture (CapturedImage); BackBufferImage reads the back buffer.
  void CaptureNextFrame();
  QImage CapturedImage();
  QImage BackBufferImage();
  // Where the last presented picture sits in a client area of the given
  // size (PictureRect with its size and sample aspect).
  ZovPictureRect LastPictureRect(int clientWidth, int clientHeight);
  // Drops the GL context as a lost device would; the next RenderFrame rebuilds it.
  void SimulateContextLoss();
  bool HasContext() const { return context != nullptr; }
  int BackBufferWidth() const { return backBufferWidth; }
  int BackBufferHeight() const { return backBufferHeight; }
  // Number of times the input textures were (re)created.
  int InputTextureGeneration() const { return inputGeneration; }
  // Number of successful context (re)initialisations.
  int InitializeCount() const { return initializeCount; }

  // Kept in the interface with their design meaning.
  int driverType = 0;      // 1 when a hardware-accelerated context was made, else 4 (software)
  int featureLevel = 0;    // GL version obtained, major * 10 + minor
  float sharpenStrength = 0.0f;

 protected:
  bool MakeCurrent();
  void DoneCurrent();
  bool CreateTargets();
  // Gives the back buffer a new size (FollowsClient), on the current context.
  void ResizeBackBuffer(int width, int height);
  bool CreateOutputPass(int index);
  bool CreatePassObjects(ZovD3D11Pass& pass, const std::string& fragment, bool sharpen);
  void DrawStretch(int clientWidth, int clientHeight, const ZovPictureRect& rect);
  bool EnsurePassTexture(ZovD3D11Pass& pass);
  bool CreateInputTextures(int format, int width, int height);
  void ReleaseInputTextures();
  void DrawPass(ZovD3D11Pass& pass);
  void UsePassInPixels(ZovD3D11Pass& pass, const float* vertices, size_t bytes, float w, float h);
  void UploadPlane(unsigned texture, int width, int height, int bytesPerPixel,
                   unsigned format, const uint8_t* data, int lineSize);
  void Present();
  int RenderSoftwareFrame(AVFrame* frame);
  // The frame itself when a pass reads its format (or nothing can be done
  // with it); otherwise its picture converted to planar 4:2:0 in `converted`.
  AVFrame* ReadableByPasses(AVFrame* frame);
  // Installs the watcher on `window` (user-interface thread).
  void WatchWindow();
  void StopWatching();

  std::recursive_mutex frameLock;  // one RenderFrame/Attach/ReleaseAll at a time
  // Shared with the watcher, which may outlive the view until its thread deletes it.
  std::shared_ptr<ZovWindowWatchState> watchState = std::make_shared<ZovWindowWatchState>();
  QPointer<QObject> watcher;  // lives on the window's (user-interface) thread
  std::unique_ptr<QOpenGLContext> context;
  QOpenGLExtraFunctions* gl = nullptr;  // of `context`, valid while it is current

  unsigned backBuffer = 0;          // back-buffer texture
  unsigned backBufferTarget = 0;    // framebuffer object on it
  int backBufferWidth = 0;
  int backBufferHeight = 0;
  unsigned pointSampler = 0;
  unsigned linearSampler = 0;
  ZovD3D11Pass* lastPass = nullptr;
  std::array<ZovD3D11Pass, kPassCount> inputPasses{};   // entries 1-5 used
  std::array<ZovD3D11Pass, kPassCount> outputPasses{};
  // Program and vertices of the stretch of the back buffer onto the window.
  ZovD3D11Pass stretchPass{};
  unsigned sharpenParams = 0;  // uniform block of the sharpen pass (unused)

  int inputGeneration = 0;
  int initializeCount = 0;
  bool captureNext = false;
  QImage captured;
  bool contextLost = false;
  // Size and sample aspect of the picture in the back buffer (scheduler thread).
  int pictureWidth = 0;
  int pictureHeight = 0;
  int sarNum = 1;
  int sarDen = 1;
  // Conversion of pictures in other YUV layouts (scheduler thread).
  SwsContext* converter = nullptr;
  AVFrameUPtr converted;
};
