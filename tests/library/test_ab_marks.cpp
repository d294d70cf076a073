// A–B marks: order kept whichever key comes first, and the range an export
// writes with and without marks, inside the drive.
#include <gtest/gtest.h>

#include "library/zov_ab_marks.h"

namespace {

TEST(AbMarks, BBeforeASwapsAndALaterMarkReplaces) {
  ZovAbMarks m = ZovSetMarkB({}, 40000);
  EXPECT_FALSE(m.Complete());
  m = ZovSetMarkA(m, 70000);  // A after B: swapped
  EXPECT_EQ(m, (ZovAbMarks{40000, 70000}));
  m = ZovSetMarkB(m, 10000);  // B before A: swapped again
  EXPECT_EQ(m, (ZovAbMarks{10000, 40000}));
  EXPECT_EQ(ZovSetMarkA({}, -5).a, 0);
}

TEST(AbMarks, ExportRangeFromMarksOrAroundThePosition) {
  const struct {
    ZovAbMarks marks;
    int64_t position, length;
    int64_t begin, end;
    bool fromMarks;
  } cases[] = {
      {{10000, 40000}, 90000, 120000, 10000, 40000, true},
      {{10000, 400000}, 0, 120000, 10000, 120000, true},         // B past the end
      {{}, 60000, 120000, 30000, 90000, false},                  // 30 s either side
      {{}, 10000, 120000, 0, 40000, false},                      // near the start
      {{}, 110000, 120000, 80000, 120000, false},                // near the end
      {{kZovNoMark, 5000}, 60000, 120000, 30000, 90000, false},  // one mark is none
  };
  for (const auto& c : cases) {
    const ZovExportRange r = ZovExportRangeOf(c.marks, c.position, c.length);
    EXPECT_EQ(r.begin, c.begin) << c.position;
    EXPECT_EQ(r.end, c.end) << c.position;
    EXPECT_EQ(r.fromMarks, c.fromMarks) << c.position;
  }
}

}  // namespace
