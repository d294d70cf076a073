// The built resource library: every id the windows use exists with the kind
// of value they read from it, and the values make one consistent, legible
// layout at the designed window size.
#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <regex>
#include <string>
#include <vector>

#include "shell/zov_resource_library.h"
#include "tests/common/test_paths.h"

namespace {

enum class Kind { Rect, Colour, Number, Png };

struct Expected {
  int id;
  Kind kind;
  int frames;  // PNG only: frames side by side in the strip
};

std::vector<Expected> Ids(Kind kind, std::initializer_list<int> ids, int frames = 1) {
  std::vector<Expected> out;
  for (int id : ids) out.push_back({id, kind, frames});
  return out;
}

std::vector<int> Range(int from, int to) {
  std::vector<int> out;
  for (int id = from; id <= to; ++id) out.push_back(id);
  return out;
}

// What each window reads, by window.
std::vector<Expected> AllExpected() {
  std::vector<Expected> all;
  auto add = [&](std::vector<Expected> more) { all.insert(all.end(), more.begin(), more.end()); };
  // Main window.
  add(Ids(Kind::Rect, {10106, 10111, 10115, 10135, 10136, 10137, 10138, 10322}));
  add(Ids(Kind::Colour, {10114, 10116}));
  add(Ids(Kind::Number, {10117}));
  add(Ids(Kind::Png, {10101, 10104}, 2));
  add(Ids(Kind::Png, {10102, 10103}, 4));
  // Setup page.
  add(Ids(Kind::Rect, {10109, 10233, 10234, 10235, 10239, 10244, 10245, 10246, 10250, 10255, 10256, 10260,
                       10261, 10262, 10263, 10264, 10272}));
  add(Ids(Kind::Colour, {10232, 10236, 10237, 10242, 10251, 10253, 10257, 10265, 10270}));
  add(Ids(Kind::Number, {10238, 10243, 10249, 10254, 10266}));
  add(Ids(Kind::Png, {10271}, 4));
  add(Ids(Kind::Png, {10275}, 2));
  // Play window.
  add(Ids(Kind::Png, {10151, 10152, 10154, 10155}, 2));
  add(Ids(Kind::Png, {10153, 10156, 10157}, 4));
  add(Ids(Kind::Png, {10158, 10162}, 1));
  add(Ids(Kind::Rect, {10164, 10165, 10166, 10167, 10168, 10169, 10170, 10172, 10173, 10174, 10176, 10177,
                       10178, 10179}));
  add(Ids(Kind::Colour, {10180, 10182, 10184, 10185, 10186, 10187}));
  add(Ids(Kind::Number, {10188, 10189}));
  // Map panel and its dials.
  add(Ids(Kind::Png, {10201, 10202, 10203, 10204}, 1));
  add(Ids(Kind::Rect, {10205, 10206, 10207, 10209, 10210, 10227}));
  add(Ids(Kind::Colour, {10214, 10229}));
  add(Ids(Kind::Number, {10228}));
  // File list view and its bar.
  add(Ids(Kind::Rect, {10285, 10290, 10301}));
  add(Ids(Kind::Png, {10281, 10282}, 2));
  add(Ids(Kind::Colour, {10284, 10286, 10287, 10291, 10293, 10294, 10297, 10299, 10305}));
  add(Ids(Kind::Number, {10288, 10292, 10300}));
  // File information view.
  add(Ids(Kind::Number, {10327, 10329}));
  add(Ids(Kind::Colour, {10323, 10325, 10326, 10328}));
  add(Ids(Kind::Png, {10321}, 2));
  for (int id : Range(10330, 10339)) add(Ids(Kind::Rect, {id}));
  for (int id : Range(10342, 10347)) add(Ids(Kind::Rect, {id}));
  add(Ids(Kind::Rect, {10324, 10340}));
  // Busy notice.
  add(Ids(Kind::Rect, {1802, 1806, 1810, 1812}));
  add(Ids(Kind::Colour, {1803, 1807, 1808, 1814}));
  add(Ids(Kind::Number, {1809, 1815}));
  add(Ids(Kind::Png, {1801}, 8));
  return all;
}

class Skin : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    library_ = new CZovResourceLibrary;
    loaded_ = library_->Load(zovtest::BinDir() + "/" + kZovResourceLibraryName);
  }
  static void TearDownTestSuite() {
    delete library_;
    library_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(loaded_) << "resource library not found in " << zovtest::BinDir(); }

  static std::string Raw(int id) {
    const unsigned char* data = nullptr;
    unsigned int size = 0;
    if (!library_->Find("STRING", id, &data, &size)) return std::string();
    return std::string(reinterpret_cast<const char*>(data), size);
  }
  static ZovRect R(int id) { return library_->LoadRect(id); }
  static QColor C(int id) { return library_->LoadQColor(id); }
  static QImage P(int id) { return library_->LoadPng(id); }
  // Frame size of a strip of `frames` frames.
  static QSize Frame(int id, int frames) {
    const QImage image = P(id);
    return QSize(image.width() / frames, image.height());
  }

  static CZovResourceLibrary* library_;
  static bool loaded_;
};
CZovResourceLibrary* Skin::library_ = nullptr;
bool Skin::loaded_ = false;

bool Inside(const ZovRect& inner, const ZovRect& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}
bool Overlap(const ZovRect& a, const ZovRect& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}
ZovRect Size(const ZovRect& r) { return ZovRect{0, 0, r.Width(), r.Height()}; }

TEST_F(Skin, EveryIdHasTheKindOfValueItsWindowReads) {
  const std::regex rect(R"(\d+,\d+,\d+,\d+)");
  const std::regex colour(R"((\d{1,3}),(\d{1,3}),(\d{1,3}))");
  const std::regex number(R"(\d+)");
  for (const Expected& e : AllExpected()) {
    SCOPED_TRACE(e.id);
    if (e.kind == Kind::Png) {
      const QImage image = P(e.id);
      ASSERT_FALSE(image.isNull());
      EXPECT_EQ(image.width() % e.frames, 0) << image.width() << " wide for " << e.frames << " frames";
      EXPECT_TRUE(Raw(e.id).empty()) << "also a string resource";
      continue;
    }
    const std::string s = Raw(e.id);
    ASSERT_FALSE(s.empty()) << "no string resource";
    EXPECT_LT(s.size(), size_t(kZovResourceStringChars));
    std::smatch m;
    switch (e.kind) {
      case Kind::Rect: {
        EXPECT_TRUE(std::regex_match(s, rect)) << s;
        const ZovRect r = R(e.id);
        EXPECT_GT(r.Width(), 0) << s;
        EXPECT_GT(r.Height(), 0) << s;
        break;
      }
      case Kind::Colour:
        ASSERT_TRUE(std::regex_match(s, m, colour)) << s;
        for (int i = 1; i <= 3; ++i) EXPECT_LE(std::stoi(m[i].str()), 255) << s;
        break;
      case Kind::Number: {
        ASSERT_TRUE(std::regex_match(s, number)) << s;
        const int height = library_->LoadNumber(e.id);
        EXPECT_GE(height, 10) << "font too small to read";
        EXPECT_LE(height, 40);
        break;
      }
      case Kind::Png:
        break;
    }
  }
}

TEST_F(Skin, ImagesHaveVisiblePressedAndStateFrames) {
  for (const Expected& e : AllExpected()) {
    if (e.kind != Kind::Png) continue;
    SCOPED_TRACE(e.id);
    const QImage image = P(e.id).convertToFormat(QImage::Format_ARGB32);
    const int w = image.width() / e.frames;
    std::vector<QImage> frames;
    for (int f = 0; f < e.frames; ++f) frames.push_back(image.copy(f * w, 0, w, image.height()));
    for (int f = 0; f < e.frames; ++f) {
      int opaque = 0;
      for (int y = 0; y < frames[f].height(); ++y)
        for (int x = 0; x < w; ++x) opaque += qAlpha(frames[f].pixel(x, y)) > 128;
      EXPECT_GT(opaque, 8) << "frame " << f << " is empty";
    }
    // Every frame of a strip differs from the others: pressing shows, and a
    // two-state button shows its state.
    for (int a = 0; a < e.frames; ++a)
      for (int b = a + 1; b < e.frames; ++b) EXPECT_FALSE(frames[a] == frames[b]) << "frames " << a << ", " << b;
  }
}

TEST_F(Skin, MainWindowLayout) {
  const ZovRect design = R(10106);
  EXPECT_GE(design.Width(), 1024);
  EXPECT_GE(design.Height(), 600);
  const ZovRect strip = R(10111);
  EXPECT_EQ(strip.left, 0);
  EXPECT_EQ(strip.top, 0);
  EXPECT_EQ(strip.Width(), design.Width());
  const ZovRect title = R(10115);
  EXPECT_TRUE(Inside(title, strip));
  const int buttons[4] = {10135, 10136, 10137, 10138};
  const int images[4] = {10101, 10102, 10103, 10104};
  const int frames[4] = {2, 4, 4, 2};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(buttons[i]);
    const ZovRect r = R(buttons[i]);
    EXPECT_TRUE(Inside(r, strip));
    EXPECT_GT(r.left, title.right) << "the title runs under the button";
    EXPECT_EQ(QSize(r.Width(), r.Height()), Frame(images[i], frames[i])) << "image stretched";
    for (int j = i + 1; j < 4; ++j) EXPECT_FALSE(Overlap(r, R(buttons[j])));
  }
  // The file information window opens inside the main window, below the strip.
  const ZovRect info = R(10322);
  EXPECT_GE(info.top, strip.bottom);
  EXPECT_TRUE(Inside(info, design));
}

constexpr int kRightPanelWidth = 340;
constexpr int kPanelGap = 5;

TEST_F(Skin, SetupPageFitsTheRightPanel) {
  const ZovRect page = R(10109);
  EXPECT_EQ(page.Width(), kRightPanelWidth);
  EXPECT_EQ(page.Height(), R(10106).Height() - R(10111).Height());
  for (int id : {10233, 10234, 10235, 10239, 10244, 10245, 10246, 10250, 10255, 10256, 10260, 10261, 10262,
                 10263, 10264, 10272}) {
    EXPECT_TRUE(Inside(R(id), page)) << id;
  }
  // Sections follow each other from the top; the lines of the information
  // section do not overlap.
  EXPECT_LT(R(10233).bottom, R(10234).top);
  EXPECT_LT(R(10234).bottom, R(10235).top);
  EXPECT_GE(R(10250).top, R(10234).bottom);
  const int lines[] = {10256, 10260, 10262, 10261, 10263, 10264};
  for (size_t i = 0; i < std::size(lines); ++i) {
    EXPECT_GE(R(lines[i]).top, R(10235).bottom) << lines[i];
    if (i > 0) {
      EXPECT_GE(R(lines[i]).top, R(lines[i - 1]).bottom) << lines[i];
    }
  }
  // The fixed folder row (y 100, 25 high) lies in the first section.
  EXPECT_LT(100 + 25, R(10234).top);
  // The folder button image fits its fixed 25 x 25 place.
  EXPECT_EQ(Frame(10275, 2), QSize(25, 25));
  EXPECT_EQ(QSize(R(10255).Width(), R(10255).Height()), Frame(10271, 4));
}

TEST_F(Skin, PlayWindowFitsTheLeftPanel) {
  const int leftWidth = R(10106).Width() - kRightPanelWidth - kPanelGap;
  struct Control {
    int rect;
    int image;
    int frames;
  };
  const Control buttons[] = {{10164, 10151, 2}, {10165, 10152, 2}, {10166, 10153, 4}, {10167, 10154, 2},
                             {10168, 10155, 2}, {10169, 10156, 4}, {10170, 10157, 4}};
  std::vector<int> all = {10173, 10176, 10177, 10178, 10179};
  for (const Control& b : buttons) {
    SCOPED_TRACE(b.rect);
    EXPECT_EQ(QSize(R(b.rect).Width(), R(b.rect).Height()), Frame(b.image, b.frames));
    all.push_back(b.rect);
  }
  for (size_t i = 0; i < all.size(); ++i) {
    SCOPED_TRACE(all[i]);
    EXPECT_LE(R(all[i]).right, leftWidth);
    for (size_t j = i + 1; j < all.size(); ++j) EXPECT_FALSE(Overlap(R(all[i]), R(all[j]))) << all[j];
  }
  // Sliders: the thumb fits the control's height, the track band lies inside
  // it and the thumb's centre can reach both ends of the band.
  struct Slider {
    int control, track, thumb;
  };
  for (const Slider s : {Slider{10176, 10174, 10162}, Slider{10173, 10172, 10158}}) {
    SCOPED_TRACE(s.control);
    const ZovRect control = R(s.control);
    const ZovRect track = R(s.track);
    const QImage thumb = P(s.thumb);
    EXPECT_LE(thumb.height(), control.Height());
    EXPECT_TRUE(Inside(track, Size(control)));
    EXPECT_GE(track.left, thumb.width() / 2);
    EXPECT_LE(track.right, control.Width() - thumb.width() / 2);
  }
}

TEST_F(Skin, MapPanelAndDials) {
  const ZovRect browser = R(10205);
  EXPECT_EQ(browser.left, 0);
  EXPECT_EQ(browser.Width(), kRightPanelWidth);
  struct Dial {
    int rect, face, needle, needleRect;
  };
  for (const Dial d : {Dial{10206, 10203, 10204, 10209}, Dial{10207, 10201, 10202, 10210}}) {
    SCOPED_TRACE(d.rect);
    const ZovRect r = R(d.rect);
    EXPECT_TRUE(Inside(r, browser));
    EXPECT_EQ(QSize(r.Width(), r.Height()), P(d.face).size());
    // The needle turns about the dial's centre; drawn at its rectangle's
    // corner in its own size, it must stay on the dial.
    const ZovRect needle = R(d.needleRect);
    const QSize size = P(d.needle).size();
    EXPECT_TRUE(Inside(ZovRect{needle.left, needle.top, needle.left + size.width(), needle.top + size.height()},
                       Size(r)));
  }
  EXPECT_FALSE(Overlap(R(10206), R(10207)));
  EXPECT_TRUE(Inside(R(10227), Size(R(10207))));
}

TEST_F(Skin, FileListAndInformationViews) {
  EXPECT_GT(R(10285).Height(), 0);
  EXPECT_GE(R(10290).Height(), library_->LoadNumber(10292));  // a row holds its text
  const ZovRect bar = R(10301);
  EXPECT_EQ(bar.Width(), Frame(10281, 2).width());
  EXPECT_EQ(bar.top, R(10285).bottom);
  EXPECT_EQ(bar.right, kRightPanelWidth);
  // Information view: the title and every row inside the view, rows apart.
  const ZovRect view = Size(R(10322));
  EXPECT_TRUE(Inside(R(10324), view));
  std::vector<int> rows = Range(10330, 10339);
  for (int id : Range(10342, 10347)) rows.push_back(id);
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i]);
    EXPECT_TRUE(Inside(R(rows[i]), view));
    EXPECT_FALSE(Overlap(R(rows[i]), R(10324)));
    for (size_t j = i + 1; j < rows.size(); ++j) EXPECT_FALSE(Overlap(R(rows[i]), R(rows[j]))) << rows[j];
  }
  EXPECT_EQ(QSize(R(10340).Width(), R(10340).Height()), Frame(10321, 2));
  // Busy notice: spinner frame and message inside the notice, apart.
  const ZovRect notice = Size(R(1802));
  EXPECT_TRUE(Inside(R(1812), notice));
  const QSize spinner = Frame(1801, 8);
  const ZovRect spin{R(1810).left, R(1810).top, R(1810).left + spinner.width(), R(1810).top + spinner.height()};
  EXPECT_TRUE(Inside(spin, notice));
  EXPECT_FALSE(Overlap(spin, R(1812)));
}

// Contrast ratio of two colours as used for legibility guidelines (1 .. 21).
double Contrast(const QColor& a, const QColor& b) {
  auto lum = [](const QColor& c) {
    auto ch = [](int v) {
      const double s = v / 255.0;
      return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * ch(c.red()) + 0.7152 * ch(c.green()) + 0.0722 * ch(c.blue());
  };
  const double la = lum(a), lb = lum(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TEST_F(Skin, TextIsLegibleOnItsBackground) {
  const QColor dialBackground(0x32, 0x32, 0x32);
  struct Pair {
    QColor text, background;
    const char* where;
  };
  const Pair pairs[] = {
      {C(10116), C(10114), "title"},          {C(10237), C(10236), "section titles"},
      {C(10242), C(10232), "setup labels"},   {C(10257), C(10232), "version line"},
      {C(10265), C(10232), "support lines"},  {C(10253), C(10251), "update button"},
      {C(10182), C(10180), "position texts"}, {C(10229), dialBackground, "speed caption"},
      {C(10287), C(10286), "list title"},     {C(10291), C(10284), "list rows"},
      {C(10293), C(10294), "selected row"},   {C(10299), C(10297), "list bar"},
      {C(10328), C(10323), "info rows"},      {C(10326), C(10325), "info title"},
      {C(1814), C(1803), "busy notice"},
  };
  for (const Pair& p : pairs) EXPECT_GE(Contrast(p.text, p.background), 4.5) << p.where;
  // A dark skin: the large surfaces are dark.
  for (int id : {10114, 10180, 10232, 10284, 10286, 10323, 1803, 10214}) EXPECT_LT(C(id).lightness(), 70) << id;
  // The played part of a slider stands out from its track.
  EXPECT_GE(Contrast(C(10184), C(10185)), 2.0);
  EXPECT_GE(Contrast(C(10186), C(10187)), 2.0);
}

}  // namespace
