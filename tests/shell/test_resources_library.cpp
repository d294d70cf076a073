// Reading the resource library: the string forms of numbers, colours and
// rectangles, images, fonts, and what a missing library or resource gives.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QTextLayout>

#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "shell/zov_resource_library.h"
#include "shell/zov_text_tables.h"

namespace {

// Fonts need a GUI application; the tests run with the offscreen platform.
class GuiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "shell_resources_test";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QGuiApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QGuiApplication> app_;
};
const auto* const kGui = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

ZovRect Rect(const std::string& s) {
  return ZovParseRect(reinterpret_cast<const unsigned char*>(s.data()), unsigned(s.size()));
}
int Number(const std::string& s) {
  return ZovParseNumber(reinterpret_cast<const unsigned char*>(s.data()), unsigned(s.size()));
}
ZovColorRef Color(const std::string& s) {
  return ZovParseColor(reinterpret_cast<const unsigned char*>(s.data()), unsigned(s.size()));
}

TEST(ResourceStrings, RectangleWithBlanksEqualsWithout) {
  const ZovRect plain = Rect("10,20,300,40");
  EXPECT_EQ(plain, (ZovRect{10, 20, 300, 40}));
  EXPECT_EQ(Rect("  10 , 20,300 ,  40  "), plain);
  EXPECT_EQ(Rect("\t10,\t20,300,40 "), plain);
  EXPECT_EQ(plain.Width(), 290);
  EXPECT_EQ(plain.Height(), 20);
  EXPECT_EQ(plain.ToQRect(), QRect(10, 20, 290, 20));
}

TEST(ResourceStrings, RectangleFieldsTheStringDoesNotReachStayZero) {
  EXPECT_EQ(Rect(""), ZovRect{});
  EXPECT_EQ(Rect("7"), ZovRect{});                  // no comma: nothing is stored
  EXPECT_EQ(Rect("7,8"), (ZovRect{7, 0, 0, 0}));
  EXPECT_EQ(Rect("7,8,9"), (ZovRect{7, 8, 0, 0}));  // right needs its comma
  EXPECT_EQ(Rect("7,8,9,"), (ZovRect{7, 8, 9, 0}));
  // Bottom only with exactly three commas.
  EXPECT_EQ(Rect("1,2,3,4,5"), (ZovRect{1, 2, 3, 0}));
  EXPECT_EQ(ZovParseRect(nullptr, 0), ZovRect{});
}

TEST(ResourceStrings, NumberReading) {
  EXPECT_EQ(Number("16"), 16);
  EXPECT_EQ(Number(" 1 2 "), 12);
  EXPECT_EQ(Number(""), 0);
  EXPECT_EQ(ZovParseNumber(nullptr, 0), 0);
  // Every character that is not a blank counts as a digit.
  EXPECT_EQ(Number("1a"), 1 * 10 + ('a' - '0'));
  // A zero byte ends the string.
  const unsigned char withZero[] = {'4', '2', 0, '9'};
  EXPECT_EQ(ZovParseNumber(withZero, sizeof withZero), 42);
}

TEST(ResourceStrings, NumberWithoutEndWithinTheBufferGivesSixteen) {
  const std::string full(64, '7');
  EXPECT_EQ(Number(full), kZovUnterminatedNumber);
  EXPECT_EQ(Number(full + "123"), kZovUnterminatedNumber);
  // 63 characters still end inside the buffer.
  EXPECT_NE(Number(std::string(62, ' ') + "5"), kZovUnterminatedNumber);
  EXPECT_EQ(Number(std::string(62, ' ') + "5"), 5);
  // A zero inside the first 64 bytes ends a longer resource.
  std::string zeroAt63 = std::string(60, ' ') + "123";
  zeroAt63.push_back('\0');
  zeroAt63 += "999";
  EXPECT_EQ(Number(zeroAt63), 123);
}

TEST(ResourceStrings, ColourComponents) {
  EXPECT_EQ(Color("50,50,50"), 0x00323232u);
  EXPECT_EQ(Color("1,2,3"), ZovRgb(1, 2, 3));
  EXPECT_EQ(Color("1,2,3"), 0x00030201u);
  EXPECT_EQ(Color(" 255 , 0 ,128 "), ZovRgb(255, 0, 128));
  // Each component keeps its low 8 bits.
  EXPECT_EQ(Color("300,256,511"), ZovRgb(300 & 0xFF, 0, 255));
  // Fewer than three numbers: the missing ones are 0.
  EXPECT_EQ(Color("9,8"), ZovRgb(9, 8, 0));
  EXPECT_EQ(Color(""), 0u);
  const QColor q = ZovToQColor(Color("10,20,30"));
  EXPECT_EQ(q, QColor(10, 20, 30));
}

// A look-up over an in-memory table, standing in for a library.
std::map<int, std::string>& Strings() {
  static std::map<int, std::string> strings;
  return strings;
}
std::map<int, std::string>& Pngs() {
  static std::map<int, std::string> pngs;
  return pngs;
}
int FakeFind(const char* type, int id, const unsigned char** data, unsigned int* size) {
  auto& table = std::strcmp(type, "PNG") == 0 ? Pngs() : Strings();
  if (std::strcmp(type, "PNG") != 0 && std::strcmp(type, "STRING") != 0) return 0;
  auto it = table.find(id);
  if (it == table.end()) return 0;
  *data = reinterpret_cast<const unsigned char*>(it->second.data());
  *size = unsigned(it->second.size());
  return 1;
}

std::string PngBytes(int w, int h) {
  QImage image(w, h, QImage::Format_ARGB32);
  image.fill(QColor(1, 2, 3));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toStdString();
}

TEST(ResourceLibrary, ReadsThroughTheLookUp) {
  Strings() = {{1, "12"}, {2, "1, 2,3, 4"}, {3, "200,100,50"}, {4, std::string(64, '3')}};
  Pngs() = {{7, PngBytes(6, 4)}, {8, "not a png at all"}};
  CZovResourceLibrary library;
  library.Attach(FakeFind);
  EXPECT_TRUE(library.IsLoaded());
  EXPECT_EQ(library.LoadNumber(1), 12);
  EXPECT_EQ(library.LoadRect(2), (ZovRect{1, 2, 3, 4}));
  EXPECT_EQ(library.LoadColor(3), ZovRgb(200, 100, 50));
  EXPECT_EQ(library.LoadQColor(3), QColor(200, 100, 50));
  EXPECT_EQ(library.LoadNumber(4), 16);
  // An id of the other type is not found.
  EXPECT_EQ(library.LoadNumber(7), 0);
  const QImage image = library.LoadPng(7);
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), QSize(6, 4));
  EXPECT_TRUE(library.LoadPng(8).isNull());  // bytes that do not decode
  EXPECT_TRUE(library.LoadPng(1).isNull());  // a string id is no image
  // Absent ids.
  EXPECT_EQ(library.LoadNumber(99), 0);
  EXPECT_EQ(library.LoadRect(99), ZovRect{});
  EXPECT_TRUE(library.LoadPng(99).isNull());
  const unsigned char* data = reinterpret_cast<const unsigned char*>(1);
  unsigned int size = 5;
  EXPECT_FALSE(library.Find("STRING", 99, &data, &size));
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(size, 0u);
  EXPECT_FALSE(library.Find(nullptr, 1, &data, &size));
  library.Unload();
  EXPECT_FALSE(library.IsLoaded());
  EXPECT_EQ(library.LoadNumber(1), 0);
}

TEST(ResourceLibrary, MissingLibraryGivesZerosAndNoImage) {
  CZovResourceLibrary library;
  EXPECT_FALSE(library.Load("/nonexistent/folder/libzovQuelnaResource.so"));
  EXPECT_FALSE(library.IsLoaded());
  EXPECT_EQ(library.LoadNumber(10117), 0);
  EXPECT_EQ(library.LoadRect(10106), ZovRect{});
  EXPECT_EQ(library.LoadColor(10114), 0u);
  EXPECT_TRUE(library.LoadPng(10101).isNull());
  // Fonts get height 0: the platform's default size.
  const QFont font = library.CreateNormalFont(10117);
  EXPECT_EQ(font.pixelSize(), -1);
  EXPECT_EQ(font.weight(), QFont::Normal);
}

TEST(ResourceLibrary, LibraryWithoutTheLookUpIsRefused) {
  CZovResourceLibrary library;
  // The C library is always there and exports no resource look-up.
  EXPECT_FALSE(library.Load("libc.so.6"));
  EXPECT_FALSE(library.IsLoaded());
}

TEST(ResourceLibrary, FontsTakeHeightWeightAndFace) {
  Strings() = {{5, "18"}, {6, "0"}};
  CZovResourceLibrary library;
  library.Attach(FakeFind);
  const QFont bold = library.CreateBoldFont(5);
  EXPECT_EQ(bold.pixelSize(), 18);
  EXPECT_EQ(bold.weight(), QFont::Bold);
  EXPECT_EQ(bold.family(), QString(kZovDefaultFontFace));
  EXPECT_FALSE(bold.italic());
  EXPECT_FALSE(bold.underline());
  EXPECT_FALSE(bold.strikeOut());
  const QFont normal = library.CreateNormalFont(5, "DejaVu Sans");
  EXPECT_EQ(normal.pixelSize(), 18);
  EXPECT_EQ(normal.weight(), QFont::Normal);
  EXPECT_EQ(normal.family(), QString("DejaVu Sans"));
  EXPECT_EQ(library.CreateNormalFont(6).pixelSize(), -1);
  const QFont twenty = CZovResourceLibrary::CreateFontOfHeight(20);
  EXPECT_EQ(twenty.pixelSize(), 20);
  EXPECT_EQ(twenty.weight(), QFont::Normal);
  EXPECT_EQ(CZovResourceLibrary::CreateFontOfHeight(-14).pixelSize(), 14);
}

// Glyphs that no installed font provides (glyph index 0) when `text` is laid
// out in `font`, with the font's fallbacks.
int MissingGlyphs(const QString& text, const QFont& font) {
  QTextLayout layout(text, font);
  layout.beginLayout();
  layout.createLine();
  layout.endLayout();
  int missing = 0;
  for (const QGlyphRun& run : layout.glyphRuns()) {
    for (quint32 glyph : run.glyphIndexes()) missing += glyph == 0;
  }
  return missing;
}

TEST(ResourceLibrary, DefaultFaceShowsEveryLanguage) {
  const QFont font = CZovResourceLibrary::CreateFontOfHeight(14);
  // The check itself: a code point no font has shows as a missing glyph.
  ASSERT_GT(MissingGlyphs(QString::fromUcs4(U"\U0010FFFD", 1), font), 0);
  for (int t = 0; t < kZovTextTableCount; ++t) {
    const ZovTextTable* table = ZovTextTableAt(t);
    EXPECT_EQ(MissingGlyphs(QString::fromUtf8(table->displayText), font), 0) << table->languageName;
    for (int i = 0; i < table->count; ++i) {
      QString text = QString::fromUtf8(table->entries[i].text);
      text.replace(QLatin1Char('\n'), QLatin1Char(' '));
      EXPECT_EQ(MissingGlyphs(text, font), 0) << table->languageName << " " << table->entries[i].key;
    }
  }
}

}  // namespace
