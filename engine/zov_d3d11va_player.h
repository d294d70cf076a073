#pragma once
// Player of decode mode 0: hardware decoding at presentation time, shown on
// the OpenGL view.
#include "engine/zov_base_player.h"

class CZovD3d11vaPlayer : public CZovBasePlayer {
 protected:
  std::unique_ptr<CZovBaseFile> MakeFile() override;
};
