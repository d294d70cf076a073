#pragma once
// Machine facts of the file information view, probed once per view:
//  - the graphics adapter: the OpenGL renderer string of an offscreen context;
//  - shader support: whether the YUV-to-RGB program of the picture views
//    compiles and links on that context ("YES" / "NO");
//  - the hardware decoding profiles for H.264 and HEVC of the hardware decode
//    device (VA-API), each with a size label, or "NO ACCEL";
//  - the system text: the distribution's name and the processor count.
// The list and text rules are free functions so that tests feed them data.
// User-interface thread (the OpenGL probe needs the application object).
#include <string>
#include <string_view>
#include <vector>

// Text of a profile list that holds no recognised profile.
inline constexpr const char* kZovNoAccel = "NO ACCEL";

// One hardware decoding profile as the device reports it.
struct ZovHwProfileCaps {
  std::string name;   // short name written into the lists ("H264High", "HEVC")
  int maxWidth = 0;   // largest picture the decoder accepts
  int maxHeight = 0;
  bool nv12 = false;  // the decoder can write 8-bit 4:2:0 (NV12) pictures
};

struct ZovHwProfileLists {
  std::string h264;
  std::string hevc;
};

struct ZovGlProbe {
  std::string renderer;  // empty when no OpenGL context could be made
  bool shaderOk = false;
};

// The size label of one profile: "1080p" when it decodes 1920 x 1080,
// replaced by "1080p 2K" for 2560 x 1440 and by "1080p 2k 4K" for
// 4096 x 2160 (checked in that order); empty when none fits.
std::string ZovHwSizeLabel(const ZovHwProfileCaps& caps);

// The two lists: every profile adds " name:" and its size label to the H.264
// list when that text contains "H264", to the HEVC list when it contains
// "HEV". A list shorter than 3 characters becomes "NO ACCEL".
ZovHwProfileLists ZovBuildHwProfileLists(const std::vector<ZovHwProfileCaps>& profiles);

// The H.264 and HEVC decoding profiles of the first VA-API render node that
// answers; empty when there is none.
std::vector<ZovHwProfileCaps> ZovQueryVaapiProfiles();

// The YUV-to-RGB fragment program of the shader check.
const char* ZovYuvFragmentSource();
// Renderer string and shader check on an offscreen OpenGL 3.3 core context:
// the check compiles and links `fragmentSource` with a pass-through vertex
// program.
ZovGlProbe ZovProbeOpenGl(const char* fragmentSource = ZovYuvFragmentSource());

// PRETTY_NAME of an os-release text (quotes and escapes removed); empty when
// the key is missing.
std::string ZovOsReleasePrettyName(std::string_view text);
// PRETTY_NAME of /etc/os-release (or /usr/lib/os-release); empty when neither
// is readable.
std::string ZovReadPrettyName();
// The system's name and its processor count as a person reads them:
// "Debian GNU/Linux 12 (bookworm), 2 processors".
std::string ZovSystemText(const std::string& label, int processors);
