#include "engine/zov_dxva_player.h"

#include "engine/zov_dxva_file.h"
#include "engine/zov_dxva_render_view.h"

std::unique_ptr<CZovBaseFile> CZovDxvaPlayer::MakeFile() { return std::make_unique<CZovDxvaFile>(); }

std::unique_ptr<CZovRenderView> CZovDxvaPlayer::MakeView() {
  return std::make_unique<CZovDxvaRenderView>();
}
