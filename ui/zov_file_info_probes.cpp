#include "ui/zov_file_info_probes.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QSurfaceFormat>

#include <va/va.h>
#include <va/va_drm.h>

namespace {

// Picture sizes of the size label, checked in this order; each one that
// fits replaces the label of the one before.
struct SizeStep {
  int width;
  int height;
  const char* label;
};
constexpr SizeStep kSizeSteps[] = {
    {1920, 1080, "1080p"},
    {2560, 1440, "1080p 2K"},
    {4096, 2160, "1080p 2k 4K"},
};

// A list shorter than this holds no profile.
constexpr size_t kShortestList = 3;

// VA-API decoding profiles the probe recognises, with the names it writes.
struct VaProfileName {
  VAProfile profile;
  const char* name;
};
constexpr VaProfileName kVaProfiles[] = {
    {VAProfileH264ConstrainedBaseline, "H264CB"},
    {VAProfileH264Main, "H264Main"},
    {VAProfileH264High, "H264High"},
    {VAProfileHEVCMain, "HEVC"},
    {VAProfileHEVCMain10, "HEV10"},
};

// Render nodes are numbered from 128; a machine has a handful at most.
constexpr int kFirstRenderNode = 128;
constexpr int kRenderNodeCount = 8;

struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) close(fd);
  }
};

struct VaDisplayCloser {
  VADisplay display = nullptr;
  bool initialised = false;
  ~VaDisplayCloser() {
    if (initialised) vaTerminate(display);
  }
};

// Reads the largest size and the NV12 output of one decoding configuration.
ZovHwProfileCaps ReadConfigCaps(VADisplay display, VAProfile profile, const char* name) {
  ZovHwProfileCaps caps;
  caps.name = name;
  VAConfigID config = VA_INVALID_ID;
  if (vaCreateConfig(display, profile, VAEntrypointVLD, nullptr, 0, &config) != VA_STATUS_SUCCESS)
    return caps;
  unsigned count = 0;
  if (vaQuerySurfaceAttributes(display, config, nullptr, &count) == VA_STATUS_SUCCESS && count > 0) {
    std::vector<VASurfaceAttrib> attributes(count);
    if (vaQuerySurfaceAttributes(display, config, attributes.data(), &count) == VA_STATUS_SUCCESS) {
      bool anyFormat = false;
      for (unsigned i = 0; i < count && i < attributes.size(); ++i) {
        const VASurfaceAttrib& a = attributes[i];
        if (a.type == VASurfaceAttribMaxWidth) caps.maxWidth = a.value.value.i;
        if (a.type == VASurfaceAttribMaxHeight) caps.maxHeight = a.value.value.i;
        if (a.type == VASurfaceAttribPixelFormat) {
          anyFormat = true;
          if (static_cast<unsigned>(a.value.value.i) == VA_FOURCC_NV12) caps.nv12 = true;
        }
      }
      // A driver that lists no formats accepts its default one, NV12.
      if (!anyFormat) caps.nv12 = true;
    }
  }
  vaDestroyConfig(display, config);
  return caps;
}

bool HasDecodeEntry(VADisplay display, VAProfile profile) {
  int count = vaMaxNumEntrypoints(display);
  if (count <= 0) return false;
  std::vector<VAEntrypoint> entries(count);
  if (vaQueryConfigEntrypoints(display, profile, entries.data(), &count) != VA_STATUS_SUCCESS)
    return false;
  for (int i = 0; i < count && i < static_cast<int>(entries.size()); ++i)
    if (entries[i] == VAEntrypointVLD) return true;
  return false;
}

std::vector<ZovHwProfileCaps> QueryDisplay(VADisplay display) {
  std::vector<ZovHwProfileCaps> out;
  int count = vaMaxNumProfiles(display);
  if (count <= 0) return out;
  std::vector<VAProfile> profiles(count);
  if (vaQueryConfigProfiles(display, profiles.data(), &count) != VA_STATUS_SUCCESS) return out;
  profiles.resize(std::min<size_t>(profiles.size(), count < 0 ? 0 : count));
  for (VAProfile profile : profiles) {
    for (const auto& known : kVaProfiles) {
      if (known.profile == profile && HasDecodeEntry(display, profile))
        out.push_back(ReadConfigCaps(display, profile, known.name));
    }
  }
  return out;
}

const char* kProbeVertexSource = R"(#version 330 core
layout(location = 0) in vec2 pos;
out vec2 uv;
void main() {
  uv = pos * 0.5 + 0.5;
  gl_Position = vec4(pos, 0.0, 1.0);
}
)";

// The three planes are single-channel textures; u and v are centred on 0.5.
const char* kProbeFragmentSource = R"(#version 330 core
in vec2 uv;
out vec4 color;
uniform sampler2D YTex;
uniform sampler2D UTex;
uniform sampler2D VTex;
void main() {
  float y = texture(YTex, uv).r;
  float u = texture(UTex, uv).r - 0.5;
  float v = texture(VTex, uv).r - 0.5;
  float r = y + 1.596023559570 * v;
  float g = y - 0.3917694091796875 * u - 0.8129730224609375 * v;
  float b = y + 2.017227172851563 * u;
  color = vec4(r, g, b, 1.0);
}
)";

// Value of one os-release assignment: quotes removed, backslash escapes
// inside double quotes resolved.
std::string OsReleaseValue(std::string_view raw) {
  std::string out;
  char quote = 0;
  for (size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (quote == 0 && (c == '"' || c == '\'')) {
      quote = c;
    } else if (quote != 0 && c == quote) {
      quote = 0;
    } else if (quote != '\'' && c == '\\' && i + 1 < raw.size()) {
      out += raw[++i];
    } else if (quote == 0 && c == '#') {
      break;
    } else {
      out += c;
    }
  }
  while (!out.empty() && (out.back() == ' ' || out.back() == '\t' || out.back() == '\r')) out.pop_back();
  return out;
}

std::string ReadWholeFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::string ZovHwSizeLabel(const ZovHwProfileCaps& caps) {
  std::string label;
  if (!caps.nv12) return label;
  for (const auto& step : kSizeSteps)
    if (caps.maxWidth >= step.width && caps.maxHeight >= step.height) label = step.label;
  return label;
}

ZovHwProfileLists ZovBuildHwProfileLists(const std::vector<ZovHwProfileCaps>& profiles) {
  ZovHwProfileLists lists;
  for (const auto& caps : profiles) {
    const std::string entry = " " + caps.name + ":";
    const std::string label = ZovHwSizeLabel(caps);
    if (entry.find("H264") != std::string::npos) lists.h264 += entry + label;
    if (entry.find("HEV") != std::string::npos) lists.hevc += entry + label;
  }
  if (lists.h264.size() < kShortestList) lists.h264 = kZovNoAccel;
  if (lists.hevc.size() < kShortestList) lists.hevc = kZovNoAccel;
  return lists;
}

std::vector<ZovHwProfileCaps> ZovQueryVaapiProfiles() {
  for (int node = kFirstRenderNode; node < kFirstRenderNode + kRenderNodeCount; ++node) {
    char path[32];
    std::snprintf(path, sizeof path, "/dev/dri/renderD%d", node);
    FdCloser fd{open(path, O_RDWR | O_CLOEXEC)};
    if (fd.fd < 0) continue;
    VaDisplayCloser va;
    va.display = vaGetDisplayDRM(fd.fd);
    if (va.display == nullptr) continue;
    vaSetInfoCallback(va.display, nullptr, nullptr);
    int major = 0, minor = 0;
    if (vaInitialize(va.display, &major, &minor) != VA_STATUS_SUCCESS) continue;
    va.initialised = true;
    return QueryDisplay(va.display);
  }
  return {};
}

const char* ZovYuvFragmentSource() { return kProbeFragmentSource; }

ZovGlProbe ZovProbeOpenGl(const char* fragmentSource) {
  ZovGlProbe result;
  // Whatever context this thread had current is made current again after
  // the probe's own context is gone.
  QOpenGLContext* previous = QOpenGLContext::currentContext();
  QSurface* previousSurface = previous ? previous->surface() : nullptr;
  struct Restore {
    QOpenGLContext* context;
    QSurface* surface;
    ~Restore() {
      if (context && surface) context->makeCurrent(surface);
    }
  } restore{previous, previousSurface};
  QSurfaceFormat format;
  format.setRenderableType(QSurfaceFormat::OpenGL);
  format.setVersion(3, 3);
  format.setProfile(QSurfaceFormat::CoreProfile);
  QOpenGLContext context;
  context.setFormat(format);
  if (!context.create()) return result;
  QOffscreenSurface surface;
  surface.setFormat(context.format());
  surface.create();
  if (!surface.isValid() || !context.makeCurrent(&surface)) return result;
  if (const GLubyte* name = context.functions()->glGetString(GL_RENDERER))
    result.renderer = reinterpret_cast<const char*>(name);
  // The engine's views need 3.3 core; a lesser context cannot run the program.
  const bool core33 = context.format().version() >= qMakePair(3, 3) &&
                      context.format().profile() == QSurfaceFormat::CoreProfile;
  if (core33) {
    QOpenGLShaderProgram program;
    result.shaderOk = program.addShaderFromSourceCode(QOpenGLShader::Vertex, kProbeVertexSource) &&
                      program.addShaderFromSourceCode(QOpenGLShader::Fragment, fragmentSource) &&
                      program.link();
  }
  context.doneCurrent();
  return result;
}

std::string ZovOsReleasePrettyName(std::string_view text) {
  constexpr std::string_view kKey = "PRETTY_NAME=";
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.substr(0, kKey.size()) == kKey) return OsReleaseValue(line.substr(kKey.size()));
    start = end + 1;
  }
  return {};
}

std::string ZovReadPrettyName() {
  for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
    const std::string text = ReadWholeFile(path);
    if (!text.empty()) return ZovOsReleasePrettyName(text);
  }
  return {};
}

std::string ZovSystemText(const std::string& label, int processors) {
  const std::string count = std::to_string(processors) + (processors == 1 ? " processor" : " processors");
  return label.empty() ? count : label + ", " + count;
}
