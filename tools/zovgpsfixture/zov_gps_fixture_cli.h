#pragma once
// Command line of zovgpsfixture:
//   zovgpsfixture LAYOUT CLIP OUT [--seconds N] [--start LAT,LON] [--version V]
//   zovgpsfixture list
// Every option is checked before anything is written: unknown options, an
// option without its value, numbers that do not parse whole, a start outside
// +-90 / +-180 degrees and an output that is the input clip are refused.
#include <string>
#include <vector>

// Arguments without the program name; output and messages go to the given
// strings. Returns the exit status (0 written, 1 the writer failed, 2 usage).
int ZovFixtureToolMain(const std::vector<std::string>& args, std::string& out, std::string& err);
