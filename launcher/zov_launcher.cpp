#include "launcher/zov_launcher.h"

#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <system_error>

extern char** environ;

namespace fs = std::filesystem;

namespace {

// Bytes of the hand-over file that are read; the line is far shorter.
constexpr size_t kHandoverBytes = 128;

bool IsFileNotFolder(const fs::path& p) {
  std::error_code ec;
  return fs::exists(p, ec) && !fs::is_directory(p, ec);
}

}  // namespace

CZovLauncher::CZovLauncher(fs::path base) : base_(std::move(base)) {}

fs::path CZovLauncher::OwnBase() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return fs::current_path(ec);
  return self.parent_path();
}

fs::path CZovLauncher::Inside(const std::string& stored) const {
  std::string rel = ZovSlashes(stored);
  if (!ZovIsContainedSubFolder(rel)) return {};
  fs::path p = rel.empty() ? base_ : (base_ / rel).lexically_normal();
  if (ZovUtf16Units(p.string()) > kZovMaxPathUnits) return {};
  return p;
}

ZovInstallPlan CZovLauncher::Decide() const {
  ZovInstallPlan plan;
  const fs::path handover = HandoverFile();
  if (IsFileNotFolder(handover)) {
    std::ifstream in(handover, std::ios::binary);
    if (!in) return plan;  // there but unreadable: leave everything as it is
    char buf[kHandoverBytes] = {};
    in.read(buf, sizeof buf);
    ZovHandover h = ZovParseHandover(std::string_view(buf, static_cast<size_t>(in.gcount())));
    if (h.Complete()) {
      const std::string& packageField = h.fields[1];
      const std::string& folderField = h.fields[2];
      fs::path package = Inside(packageField);
      fs::path destination = (!folderField.empty() && folderField[0] == '.') ? base_ : Inside(folderField);
      if (!package.empty() && !destination.empty()) {
        plan.install = true;
        plan.kind = h.kindRead ? h.kind : 0;
        plan.package = package;
        plan.destination = destination;
        return plan;
      }
      std::fprintf(stderr, "tamarin: %s names a path outside %s; ignored\n", handover.c_str(),
                   base_.c_str());
    }
  }
  if (PlayerExists()) return plan;
  if (IsFileNotFolder(FirstInstallPackage())) {
    plan.install = true;
    plan.kind = 1;
    plan.package = FirstInstallPackage();
    plan.destination = base_;
  }
  return plan;
}

void ZovMoveInto(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::create_directories(to, ec);
  for (fs::directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path src = it->path();
    const fs::path dst = to / src.filename();
    std::error_code sec;
    const bool srcIsFolder = fs::symlink_status(src, sec).type() == fs::file_type::directory;
    const fs::file_status ds = fs::symlink_status(dst, sec);
    if (srcIsFolder && ds.type() == fs::file_type::directory) {
      ZovMoveInto(src, dst);
      fs::remove(src, sec);  // only when it is empty now
      continue;
    }
    if (ds.type() == fs::file_type::directory) continue;  // a file does not replace a folder
    // A link in the way is replaced, never followed.
    if (ds.type() == fs::file_type::symlink) fs::remove(dst, sec);
    fs::rename(src, dst, sec);
    if (sec && sec == std::errc::cross_device_link) {
      fs::copy(src, dst, fs::copy_options::recursive | fs::copy_options::overwrite_existing, sec);
      if (!sec) fs::remove_all(src, sec);
    }
  }
}

ZovUnpackResult CZovLauncher::Install(const ZovInstallPlan& plan) const {
  ZovUnpackResult unpacked;
  std::error_code ec;
  const fs::path unpack = UnpackFolder();
  if (!plan.package.empty()) unpacked = ZovUnpackPackage(plan.package, unpack);

  fs::path target = plan.destination;
  if (plan.kind != 0) {
    target = base_;
    for (const char* folder : {"res", "setup", "bin"}) fs::remove_all(base_ / folder, ec);
  }
  if (target.empty()) target = base_;
  ZovMoveInto(unpack / "x86", target);
  fs::remove_all(target / "new", ec);
  fs::remove_all(unpack, ec);
  fs::remove(HandoverFile(), ec);
  return unpacked;
}

bool CZovLauncher::PlayerExists() const { return IsFileNotFolder(Player()); }

pid_t CZovLauncher::StartPlayer() const {
  if (!PlayerExists()) return -1;
  const std::string path = Player().string();
  char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) != 0) return -1;
  return pid;
}
