#pragma once
// The engine's clock and sleep. Every engine time computation mixes NowMs()
// values only with other NowMs() values.
#include <cstdint>

// Milliseconds since the process started, from a monotonic clock (never the C
// library's clock(), which counts processor time here), truncated to int32.
int32_t NowMs();

// Sleeps ms milliseconds with millisecond resolution. Returns 0, or -1 when the
// sleep could not be carried out. A value of 0 or less returns at once.
int SleepMs(int ms);
