#include "engine/zov_dxva_render_view.h"

#include <chrono>

extern "C" {
#include <libavutil/frame.h>
}

CZovDxvaRenderView::CZovDxvaRenderView() = default;
CZovDxvaRenderView::~CZovDxvaRenderView() = default;

bool CZovDxvaRenderView::Attach(QWindow* renderWindow) {
  window = renderWindow;
  presenter = std::make_unique<CZovD3D11RenderView>();
  presenter->Attach(renderWindow);  // a failure leaves frames unshown
  return true;
}

int CZovDxvaRenderView::RenderFrame(AVFrame* frame) {
  const auto start = std::chrono::steady_clock::now();
  // Hardware surfaces, or surfaces the decoder object already copied to NV12.
  if (frame && (frame->hw_frames_ctx || frame->format == AV_PIX_FMT_NV12)) PresentSurface(frame);
  return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - start)
                              .count());
}

void CZovDxvaRenderView::PresentSurface(AVFrame* frame) {
  if (!presenter) return;
  // The presenter copies the surface to NV12 and draws it through its NV12 pass.
  presenter->RenderFrame(frame);
  currentFormat = presenter->currentFormat;
}
