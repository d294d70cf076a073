// zovlib [--format json|text] [--gap SECONDS] PATH...  (zovlib --help)
#include <cstdio>
#include <string>
#include <vector>

#include "tools/zovlib/zov_library_cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string out, err;
  const int status = ZovLibraryToolMain(args, out, err);
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fwrite(err.data(), 1, err.size(), stderr);
  return status;
}
