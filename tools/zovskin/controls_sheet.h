#pragma once
#include <string>

// Writes the sheet of every control in each of its states to `sheet` (PNG),
// with the skin of `library` (empty: the one beside the program). 0 on
// success.
int RenderControlsSheet(const std::string& sheet, const std::string& library);
