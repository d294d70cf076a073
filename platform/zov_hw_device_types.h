#pragma once
// The one table that maps decode modes to FFmpeg hardware device type names.
// Mode 1 is software decoding and has no device; every mode other than 0 and
// 1 uses the mode-2 device.

// FFmpeg device type name for `decodeMode`, or nullptr for software decoding.
const char* ZovHwDeviceTypeName(int decodeMode);
