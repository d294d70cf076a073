#pragma once
// The steps of an export run (zov_export.cpp runs them in turn). Each returns
// false on failure with the reason set on the job, or when cancelled.
#include <string>
#include <vector>

#include "export/zov_export_job.h"
#include "export/zov_overlay_draw.h"

// Lossless: one channel's packets copied into one file.
bool ZovCopyChannel(CZovExportJob& job, const ZovExportChannel& channel);
// One PNG with every channel's picture at the range's start, side by side.
bool ZovWriteStill(CZovExportJob& job);
// The range re-encoded with the overlay drawn in, one file.
bool ZovEncodeOverlay(CZovExportJob& job);

// The track of the range: the fixes of the recordings of the plan, each on
// the camera clock (its moment's start plus its second in the recording).
std::vector<ZovOverlayFix> ZovRangeTrack(const ZovLibrary& library, const ZovExportPlan& plan);
// The GPX and CSV texts of those fixes (the zovgps tool's writers).
std::string ZovRangeGpx(const std::vector<ZovOverlayFix>& fixes, const std::string& name);
std::string ZovRangeCsv(const std::vector<ZovOverlayFix>& fixes, const std::string& name);
