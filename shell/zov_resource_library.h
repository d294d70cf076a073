#pragma once
// Access to the resource library libzovQuelnaResource.so: skin PNGs, layout
// rectangles, colours and font heights addressed by numeric id. The library
// exports one look-up,
//   extern "C" int zov_find_resource(const char* type, int id,
//                                    const unsigned char** data, unsigned int* size);
// with type "PNG" or "STRING". String resources hold short texts:
// "10,20,300,40" (rectangle), "50,50,50" (colour), "16" (number).
//
// A missing library or resource is not an error: numbers and rectangles read
// as 0, images as a null QImage, fonts get height 0 (the platform default).
//
// Threads: loading and unloading happen on the user-interface thread; the
// look-ups only read the loaded module and may run on any thread.
#include <cstdint>
#include <string>

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>

#include "platform/zov_module.h"

// File name of the resource library, looked up beside the executable.
inline constexpr const char* kZovResourceLibraryName = "libzovQuelnaResource.so";
// Name of its one exported function.
inline constexpr const char* kZovFindResourceSymbol = "zov_find_resource";
// Every string resource is read through a buffer of this many characters.
inline constexpr int kZovResourceStringChars = 64;
// LoadNumber's answer for a string resource that has no end within the buffer.
inline constexpr int kZovUnterminatedNumber = 16;
// Default UI font face: one that fontconfig resolves for all 17 languages.
inline constexpr const char* kZovDefaultFontFace = "Noto Sans CJK SC";

using ZovFindResourceFn = int (*)(const char* type, int id, const unsigned char** data,
                                  unsigned int* size);

// Colour in the packed layout red | green << 8 | blue << 16.
using ZovColorRef = std::uint32_t;
inline constexpr ZovColorRef ZovRgb(int r, int g, int b) {
  return (ZovColorRef(r) & 0xFF) | ((ZovColorRef(g) & 0xFF) << 8) | ((ZovColorRef(b) & 0xFF) << 16);
}
inline QColor ZovToQColor(ZovColorRef c) {
  return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// Rectangle with exclusive right and bottom edges (width = right - left).
struct ZovRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsNull() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
  QRect ToQRect() const { return QRect(left, top, right - left, bottom - top); }
  friend bool operator==(const ZovRect&, const ZovRect&) = default;
};

// Parsers of the string forms, over the bytes of one string resource (at most
// kZovResourceStringChars of them are read; a zero byte or the end of the data
// ends the string). Blanks are skipped everywhere.
// Decimal value; kZovUnterminatedNumber when no end is found within the buffer.
int ZovParseNumber(const unsigned char* data, unsigned int size);
// "r,g,b" -> r | g << 8 | b << 16, each component its low 8 bits. Missing
// components are 0.
ZovColorRef ZovParseColor(const unsigned char* data, unsigned int size);
// "l,t,r,b"; fields the string does not reach stay 0; bottom is set only when
// the string has exactly three commas.
ZovRect ZovParseRect(const unsigned char* data, unsigned int size);

class CZovResourceLibrary {
 public:
  CZovResourceLibrary() = default;
  ~CZovResourceLibrary() = default;
  CZovResourceLibrary(const CZovResourceLibrary&) = delete;
  CZovResourceLibrary& operator=(const CZovResourceLibrary&) = delete;

  // Loads the library from `path` (a path with "/", or a bare name looked for
  // beside the executable first, then on the loader's search path). Any
  // library loaded before is unloaded first. Returns false, leaving nothing
  // loaded, when the library or its look-up function is missing.
  bool Load(const std::string& path);
  // Loads kZovResourceLibraryName (beside the executable first).
  bool LoadBesideExecutable() { return Load(kZovResourceLibraryName); }
  // Uses a look-up function directly (a library linked in, or a test table).
  void Attach(ZovFindResourceFn find);
  void Unload();
  bool IsLoaded() const { return module_.IsLoaded() || attached_ != nullptr; }

  // Raw look-up: true and the bytes when resource `id` of `type` exists.
  bool Find(const char* type, int id, const unsigned char** data, unsigned int* size) const;

  int LoadNumber(int id) const;
  ZovColorRef LoadColor(int id) const;
  QColor LoadQColor(int id) const { return ZovToQColor(LoadColor(id)); }
  ZovRect LoadRect(int id) const;
  // The PNG resource `id` decoded; a null image when missing or undecodable.
  QImage LoadPng(int id) const;

  // Fonts of height LoadNumber(id) (pixels), weight bold (700) or normal
  // (400), no italic, underline or strike-out, in `face`.
  QFont CreateBoldFont(int id, const QString& face = QString::fromLatin1(kZovDefaultFontFace)) const;
  QFont CreateNormalFont(int id, const QString& face = QString::fromLatin1(kZovDefaultFontFace)) const;
  static QFont CreateFontOfHeight(int height, const QString& face = QString::fromLatin1(kZovDefaultFontFace),
                                  int weight = 400);

 private:
  // The string resource's bytes, or none (size 0).
  bool FindString(int id, const unsigned char** data, unsigned int* size) const;

  CZovResourceModule module_;             // the loaded library, when loaded by name
  ZovFindResourceFn attached_ = nullptr;  // a look-up used directly instead
};
