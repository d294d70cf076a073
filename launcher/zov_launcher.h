#pragma once
// The launcher "tamarin": started by the user instead of the player, it
// installs a package that the player's update client left behind (or, on a
// fresh installation, the first-install package karu.bin), then starts the
// player base/bin/tamarinsoft and ends. Single-threaded; it shares nothing with
// the player but the package and hand-over formats (launcher/zov_package.h).
//
// base is the folder of the launcher's own executable. Every path the
// hand-over file or a package names is kept inside base: a hand-over file that
// points elsewhere is not honoured, and unsafe package records are skipped.
#include <sys/types.h>

#include <filesystem>
#include <string>

#include "launcher/zov_package.h"

// Text of the message box shown when the player cannot be found or started.
inline constexpr const char* kZovPlayerMissingText = "打开失败";
// Title of a message box that has no caption of its own.
inline constexpr const char* kZovNoCaptionTitle = "VOV EVIVAR WARNING.......";

// What the launcher decided to do before starting the player.
struct ZovInstallPlan {
  bool install = false;
  int kind = 0;  // 0 update (from the hand-over file), 1 first installation (karu.bin)
  std::filesystem::path package;
  std::filesystem::path destination;
};

class CZovLauncher {
 public:
  explicit CZovLauncher(std::filesystem::path base);

  // Folder of the running executable (/proc/self/exe without its file name).
  static std::filesystem::path OwnBase();

  const std::filesystem::path& Base() const { return base_; }
  std::filesystem::path HandoverFile() const { return base_ / "update.txt"; }
  std::filesystem::path Player() const { return base_ / "bin" / "tamarinsoft"; }
  std::filesystem::path UnpackFolder() const { return base_ / "new"; }
  std::filesystem::path FirstInstallPackage() const { return base_ / "karu.bin"; }

  // Reads the hand-over file (or looks for karu.bin) and decides.
  ZovInstallPlan Decide() const;
  // Unpacks the package into base/new, clears res, setup and bin on a first
  // installation, moves base/new/x86/* into place, removes the unpack folder
  // and the hand-over file. File operation failures are ignored, as before.
  ZovUnpackResult Install(const ZovInstallPlan& plan) const;
  // True when the player is there and is not a folder.
  bool PlayerExists() const;
  // Starts the player as a new process with only its path as argument, in
  // the current folder. Returns its process id, or -1 when it is missing or
  // cannot be started.
  pid_t StartPlayer() const;

 private:
  // base joined with a stored relative path ("\" read as "/"); empty when it
  // is absolute, climbs out of base or does not fit the path limit.
  std::filesystem::path Inside(const std::string& stored) const;

  std::filesystem::path base_;
};

// Moves every entry of from into to, merging folders that exist on both sides
// and replacing files; entries that cannot be moved stay where they are.
void ZovMoveInto(const std::filesystem::path& from, const std::filesystem::path& to);
