// One export run: the plan, the folder's check, the steps, and the removal
// of every file written when a step fails or the run is cancelled.
#include "export/zov_export.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "export/zov_export_steps.h"

namespace {

bool RunSteps(CZovExportJob& job, ZovExportResult& result) {
  const ZovExportRequest& request = job.Request();
  const ZovExportPlan& plan = job.Plan();
  if (request.kind == ZovExportKind::kOverlay) return ZovEncodeOverlay(job);
  for (const ZovExportChannel& c : plan.channels)
    if (!ZovCopyChannel(job, c)) return false;
  if (!ZovWriteStill(job)) return false;
  if (!request.withPosition) return true;
  const std::vector<ZovOverlayFix> fixes = ZovRangeTrack(job.Library(), plan);
  if (fixes.empty()) {
    result.notices.push_back("the range has no GPS track: no GPX or CSV was written");
    return true;
  }
  return job.WriteWhole("track.gpx", ZovRangeGpx(fixes, plan.stem)) &&
         job.WriteWhole("track.csv", ZovRangeCsv(fixes, plan.stem));
}

}  // namespace

ZovExportResult ZovRunExport(const ZovExportRequest& request) {
  ZovExportResult result;
  if (!request.library) {
    result.error = "no library";
    return result;
  }
  const ZovExportPlan plan = ZovPlanExport(*request.library, request.drive, request.from, request.to, request.clock);
  result.notices = plan.notices;
  result.from = plan.from;
  result.to = plan.to;
  if (!plan.error.empty()) {
    result.error = plan.error;
    return result;
  }
  struct stat st {};
  if (::stat(request.folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    result.error = "the folder " + request.folder + " does not exist";
    return result;
  }
  if (::access(request.folder.c_str(), W_OK) != 0) {
    result.error = ZovWriteErrorText(request.folder, AVERROR(errno));
    return result;
  }
  const double span = plan.to - plan.from;
  const double units = request.kind == ZovExportKind::kOverlay
                           ? span
                           : span * static_cast<double>(plan.channels.size()) + 1;  // + the PNG
  CZovExportJob job(request, plan, units);
  const bool ok = RunSteps(job, result);
  if (!ok || job.Cancelled()) {
    job.RemoveFiles();
    result.cancelled = job.Cancelled();
    result.error = result.cancelled ? "the export was cancelled" : job.Error();
    return result;
  }
  result.ok = true;
  result.files = job.Files();
  if (request.progress) request.progress(1.0);
  return result;
}
