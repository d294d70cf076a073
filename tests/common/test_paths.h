#pragma once
// Where tests find their inputs. CTest sets the variables; the fall-backs let a
// test program run by hand from the build folder.
#include <string>

namespace zovtest {

// Folder of the generated fixture clips (ZOV_FIXTURE_DIR).
std::string FixtureDir();
// Full path of one fixture clip; the test is skipped with a message when the
// file is missing, so run "ctest -R fixtures.clips" first when running by hand.
std::string Fixture(const std::string& name);
// Repository root (ZOV_SOURCE_DIR).
std::string SourceDir();
// Staged bin folder build/base/bin (ZOV_BIN_DIR).
std::string BinDir();
// How many times slower than a plain build this build runs its code
// (ZOV_TEST_SLOWDOWN, set for the sanitizer builds; 1 otherwise). Bounds that
// catch a runaway loop, not a speed target, are multiplied by it.
int Slowdown();
// A fresh empty temporary folder, removed when the process ends.
std::string TempDir();
// Whole file as bytes ("" when it cannot be read), and a file written whole.
std::string Slurp(const std::string& path);
void Spit(const std::string& path, const std::string& text);

}  // namespace zovtest
