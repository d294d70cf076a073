#pragma once
// The channel view of decode mode 2. Its pictures are hardware surfaces of the
// decoder's own device; PresentSurface copies one to NV12 system memory and
// stretches it onto the render window through an OpenGL presenter (OpenGL 3.3
// core, the same drawing as CZovD3D11RenderView). A surface the decoder object
// has already copied to NV12 is drawn the same way; any other system-memory
// picture is not drawn.
#include <memory>

#include "engine/zov_d3d11_render_view.h"

class CZovDxvaRenderView : public CZovRenderView {
 public:
  CZovDxvaRenderView();
  ~CZovDxvaRenderView() override;

  bool Reinitialize() override { return false; }
  // Stores the window and prepares the presenter on it; always true (the
  // view needs no device of its own to accept frames).
  bool Attach(QWindow* renderWindow) override;
  // Notes the clock; presents the frame when it is a hardware surface;
  // returns the elapsed milliseconds.
  int RenderFrame(AVFrame* frame) override;
  // Shows one hardware surface stretched to the whole window.
  virtual void PresentSurface(AVFrame* frame);
  // The OpenGL presenter (null before Attach); for tests and screenshots.
  CZovD3D11RenderView* Presenter() { return presenter.get(); }

 private:
  std::unique_ptr<CZovD3D11RenderView> presenter;
};
