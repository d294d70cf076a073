#include "update/zov_update_rules.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

// Bytes of update.txt that are examined.
constexpr size_t kHandoverExamined = 128;

char At(std::string_view s, size_t i) { return i < s.size() ? s[i] : '\0'; }
int Digit(char c) { return static_cast<int>(static_cast<unsigned char>(c)) - '0'; }
int Level(std::string_view v) { return 12 * Digit(At(v, 1)) + 10 * Digit(At(v, 3)) + Digit(At(v, 4)); }

}  // namespace

bool ZovReplyValue(std::string_view reply, std::string_view key, std::string* value) {
  size_t k = reply.find(key);
  if (k == std::string_view::npos) return false;
  size_t colon = reply.find(':', k + key.size());
  if (colon == std::string_view::npos) return false;
  size_t open = reply.find('"', colon + 1);
  if (open == std::string_view::npos) return false;
  size_t close = reply.find('"', open + 1);
  if (close == std::string_view::npos || close == open + 1) return false;
  *value = std::string(reply.substr(open + 1, close - open - 1));
  return true;
}

ZovCheckReply ZovParseCheckReply(std::string_view reply, int calibrationVersion) {
  ZovCheckReply r;
  std::string soft;
  if (!ZovReplyValue(reply, "soft_version", &soft)) return r;
  r.hasSoftVersion = true;
  r.softVersion = std::atoi(soft.c_str());
  if (r.softVersion <= calibrationVersion) return r;
  bool md5 = ZovReplyValue(reply, "file_md5", &r.fileMd5);
  bool url = ZovReplyValue(reply, "file_url", &r.fileUrl);
  r.fetchCalibration = md5 && url;
  return r;
}

bool ZovVersionWantsUpdate(std::string_view current, std::string_view server, std::string_view name) {
  if (server.size() < 2) return false;
  if (At(current, 4) != At(server, 4)) return false;
  const int vc = Level(current);
  const int vs = Level(server);
  if (vc > vs) return false;
  if (vc < vs) return true;
  if (name.empty()) return false;
  return 10 * Digit(At(current, 6)) + Digit(At(current, 7)) < 10 * Digit(At(name, 0)) + Digit(At(name, 1));
}

bool ZovIsUsableUpdateName(std::string_view name) {
  if (name.empty() || name.size() > kZovMaxUpdateName) return false;
  if (name.find("..") != std::string_view::npos) return false;
  return name.find_first_of("/\\,\r\n") == std::string_view::npos && name.find('\0') == name.npos;
}

bool ZovIsUsableUpdateFolder(std::string_view folder) {
  return folder.find_first_of(",\r\n") == std::string_view::npos && folder.find('\0') == folder.npos;
}

bool ZovHandoverMarkFits(std::string_view name, std::string_view folder) {
  // "0,<name>.bin,<folder>,N," less its last ",".
  return ZovHandoverPendingLine(0, name, folder).size() - 1 <= kHandoverExamined;
}

std::string ZovHandoverPendingLine(int kind, std::string_view name, std::string_view folder) {
  return std::to_string(kind) + "," + std::string(name) + ".bin," + std::string(folder) + ",N,";
}

std::string ZovHandoverReadyLine(int kind, std::string_view name, std::string_view folder,
                                 std::string_view serverVersion) {
  return std::to_string(kind) + "," + std::string(name) + ".bin," + std::string(folder) + ",K," +
         std::string(serverVersion) + "," + std::string(name);
}

bool ZovHandoverSaysReady(std::string_view text) {
  text = text.substr(0, std::min(text.size(), kHandoverExamined));
  size_t pos = 0;
  for (int i = 0; i < 3; ++i) {
    pos = text.find(',', pos);
    if (pos == std::string_view::npos) return false;
    ++pos;
  }
  size_t end = text.find(',', pos);
  std::string_view field = text.substr(pos, end == std::string_view::npos ? text.npos : end - pos);
  return field.find_first_of("Kk") != std::string_view::npos;
}
