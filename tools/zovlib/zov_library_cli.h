#pragma once
// zovlib: prints the library of the given cards, folders and files.
//   zovlib [--format json|text] [--gap SECONDS] PATH...
//   zovlib --export START END OUTDIR [--overlay] [--no-position] [--front-only]
//          [--unit kmh|mph] PATH...   (export/zov_export.h)
// Times are shown as the index's camera clock corrects them.
// Exit status: 0 something playable was found, 1 nothing was, 2 bad usage.
// What the scan could not read goes to standard error, one line each.
#include <string>
#include <vector>

#include "library/zov_camera_clock.h"
#include "library/zov_library_types.h"

// Arguments without the program name; output and messages go to the strings.
int ZovLibraryToolMain(const std::vector<std::string>& args, std::string& out, std::string& err);

// The library as JSON:
// {"drives": [{"start", "end", "kilometres", "moments": [{"start", "mode",
//   "channels": {"front": PATH, ...}, "seconds", "gps_fixes"}]}],
//  "unplayable": [{"path", "reason"}]}
std::string ZovLibraryJson(const ZovLibrary& library, const ZovCameraClock& clock = {});
// The library as text, a block per drive and a line per moment.
std::string ZovLibraryText(const ZovLibrary& library, const ZovCameraClock& clock = {});
// A JSON string literal; bytes that are not UTF-8 become U+FFFD.
std::string ZovJsonString(const std::string& text);
