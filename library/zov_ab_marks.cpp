#include "library/zov_ab_marks.h"

#include <algorithm>

namespace {

ZovAbMarks Ordered(ZovAbMarks m) {
  if (m.Complete() && m.b < m.a) std::swap(m.a, m.b);
  return m;
}

}  // namespace

ZovAbMarks ZovSetMarkA(ZovAbMarks marks, int64_t position) {
  marks.a = std::max<int64_t>(0, position);
  return Ordered(marks);
}

ZovAbMarks ZovSetMarkB(ZovAbMarks marks, int64_t position) {
  marks.b = std::max<int64_t>(0, position);
  return Ordered(marks);
}

ZovExportRange ZovExportRangeOf(const ZovAbMarks& marks, int64_t position, int64_t driveLength) {
  const int64_t length = std::max<int64_t>(0, driveLength);
  ZovExportRange r;
  if (marks.Complete()) {
    r = {marks.a, marks.b, true};
  } else {
    r = {position - kZovExportAroundMs, position + kZovExportAroundMs, false};
  }
  r.begin = std::clamp<int64_t>(r.begin, 0, length);
  r.end = std::clamp<int64_t>(r.end, r.begin, length);
  return r;
}
