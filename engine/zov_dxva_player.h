#pragma once
// Player of decode mode 2: the hardware demuxer path, shown on the surface view.
#include "engine/zov_base_player.h"

class CZovDxvaPlayer : public CZovBasePlayer {
 protected:
  std::unique_ptr<CZovBaseFile> MakeFile() override;
  std::unique_ptr<CZovRenderView> MakeView() override;
};
