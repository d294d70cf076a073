// Sample for the include check: a window source that reaches into the engine.
#include "engine/zov_engine.h"
#include "engine/zov_media_play.h"
