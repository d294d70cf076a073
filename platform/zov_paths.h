#pragma once
// Folders of the program: its own executable, the user's configuration and
// cache folders (XDG base directories), the temporary folder and the per-user
// folder of this program. Paths are UTF-8 with "/" separators.
#include <string>

// Full path of the running executable (from /proc/self/exe); empty on failure.
std::string ZovExecutablePath();

// $XDG_CONFIG_HOME when it is an absolute path, otherwise ~/.config; no
// trailing "/".
std::string ZovConfigHome();

// $XDG_CACHE_HOME when it is an absolute path, otherwise ~/.cache; no
// trailing "/".
std::string ZovCacheHome();

// $TMPDIR when it is an absolute path, otherwise /tmp; always ends with "/".
std::string ZovTempPath();

// The per-user folder of this program: <config>/ZovGpsPlay/ (trailing "/").
std::string ZovUserFolder();

// The user's home folder ($HOME, or the password entry).
std::string ZovHomeFolder();

// Creates `path` (one level) unless a folder of that name exists; true when
// the folder exists afterwards.
bool ZovEnsureFolder(const std::string& path);
