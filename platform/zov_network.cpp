#include "platform/zov_network.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

constexpr unsigned kRouteFlagUp = 0x1;  // RTF_UP

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool InterfaceUp() {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/sys/class/net", ec)) {
    std::string name = entry.path().filename().string();
    if (name == "lo") continue;
    std::string state = ReadFile(entry.path().string() + "/operstate");
    if (state.rfind("up", 0) == 0) return true;
  }
  return false;
}

}  // namespace

bool ZovRouteTableHasDefault(const std::string& routeTable) {
  std::istringstream in(routeTable);
  std::string line;
  std::getline(in, line);  // column titles
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string iface, destination, gateway, flags;
    if (!(fields >> iface >> destination >> gateway >> flags)) continue;
    if (destination != "00000000") continue;
    unsigned long f = std::strtoul(flags.c_str(), nullptr, 16);
    if (f & kRouteFlagUp) return true;
  }
  return false;
}

bool ZovIsOnline() {
  if (const char* v = std::getenv("ZOV_ONLINE"); v && *v) {
    if (std::strcmp(v, "0") == 0) return false;
    if (std::strcmp(v, "1") == 0) return true;
  }
  if (ZovRouteTableHasDefault(ReadFile("/proc/net/route"))) return true;
  return InterfaceUp();
}
