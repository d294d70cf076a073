#include "engine/zov_d3d11va_player.h"

#include "engine/zov_d3d11va_file.h"

std::unique_ptr<CZovBaseFile> CZovD3d11vaPlayer::MakeFile() {
  return std::make_unique<CZovD3d11vaFile>();
}
