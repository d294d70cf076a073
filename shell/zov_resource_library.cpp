#include "shell/zov_resource_library.h"

#include <cstring>

namespace {

// The string as the reading buffer holds it: at most kZovResourceStringChars
// characters, cut at the first zero. `terminated` is false when the buffer
// is full without a zero, i.e. the string has no end within it.
struct StringView64 {
  const unsigned char* data = nullptr;
  unsigned int length = 0;
  bool terminated = true;
};

StringView64 Buffered(const unsigned char* data, unsigned int size) {
  StringView64 view;
  if (data == nullptr || size == 0) return view;
  const unsigned int limit = size < unsigned(kZovResourceStringChars) ? size : unsigned(kZovResourceStringChars);
  const void* zero = std::memchr(data, 0, limit);
  view.data = data;
  if (zero != nullptr) {
    view.length = unsigned(static_cast<const unsigned char*>(zero) - data);
  } else {
    view.length = limit;
    // A resource shorter than the buffer is ended by the buffer's zero fill.
    view.terminated = size < unsigned(kZovResourceStringChars);
  }
  return view;
}

bool IsBlank(unsigned char c) { return c == ' ' || c == '\t'; }

// One digit step of the decimal reading: every character that is not a
// blank counts as a digit (value * 10 + (c - '0')); unsigned so that a long
// string wraps instead of overflowing.
unsigned int Step(unsigned int value, unsigned char c) { return value * 10u + unsigned(c - '0'); }

}  // namespace

int ZovParseNumber(const unsigned char* data, unsigned int size) {
  const StringView64 s = Buffered(data, size);
  if (!s.terminated) return kZovUnterminatedNumber;
  unsigned int value = 0;
  for (unsigned int i = 0; i < s.length; ++i) {
    if (!IsBlank(s.data[i])) value = Step(value, s.data[i]);
  }
  return static_cast<int>(value);
}

ZovColorRef ZovParseColor(const unsigned char* data, unsigned int size) {
  const StringView64 s = Buffered(data, size);
  unsigned int parts[3] = {0, 0, 0};
  int field = 0;
  unsigned int value = 0;
  for (unsigned int i = 0; i < s.length && field < 3; ++i) {
    const unsigned char c = s.data[i];
    if (IsBlank(c)) continue;
    if (c == ',') {
      parts[field++] = value;
      value = 0;
      continue;
    }
    value = Step(value, c);
  }
  // Blue runs to the end of the string (or to a further comma, which a
  // colour does not have).
  if (field < 3) parts[field] = value;
  return ZovRgb(int(parts[0] & 0xFF), int(parts[1] & 0xFF), int(parts[2] & 0xFF));
}

ZovRect ZovParseRect(const unsigned char* data, unsigned int size) {
  const StringView64 s = Buffered(data, size);
  int fields[4] = {0, 0, 0, 0};
  int commas = 0;
  unsigned int value = 0;
  for (unsigned int i = 0; i < s.length; ++i) {
    const unsigned char c = s.data[i];
    if (IsBlank(c)) continue;
    if (c == ',') {
      if (commas < 3) fields[commas] = static_cast<int>(value);
      ++commas;
      value = 0;
      continue;
    }
    value = Step(value, c);
  }
  if (commas == 3) fields[3] = static_cast<int>(value);
  return ZovRect{fields[0], fields[1], fields[2], fields[3]};
}

bool CZovResourceLibrary::Load(const std::string& path) {
  Unload();
  return module_.Load(path);
}

void CZovResourceLibrary::Attach(ZovFindResourceFn find) {
  Unload();
  attached_ = find;
}

void CZovResourceLibrary::Unload() {
  module_.Unload();
  attached_ = nullptr;
}

bool CZovResourceLibrary::Find(const char* type, int id, const unsigned char** data,
                               unsigned int* size) const {
  const unsigned char* d = nullptr;
  unsigned int n = 0;
  bool found = false;
  if (type != nullptr) {
    if (attached_ != nullptr) {
      found = attached_(type, id, &d, &n) == 1 && d != nullptr;
    } else {
      found = module_.Find(type, id, &d, &n);
    }
  }
  if (!found) {
    d = nullptr;
    n = 0;
  }
  if (data) *data = d;
  if (size) *size = n;
  return found;
}

bool CZovResourceLibrary::FindString(int id, const unsigned char** data, unsigned int* size) const {
  return Find("STRING", id, data, size);
}

int CZovResourceLibrary::LoadNumber(int id) const {
  const unsigned char* data = nullptr;
  unsigned int size = 0;
  FindString(id, &data, &size);
  return ZovParseNumber(data, size);
}

ZovColorRef CZovResourceLibrary::LoadColor(int id) const {
  const unsigned char* data = nullptr;
  unsigned int size = 0;
  FindString(id, &data, &size);
  return ZovParseColor(data, size);
}

ZovRect CZovResourceLibrary::LoadRect(int id) const {
  const unsigned char* data = nullptr;
  unsigned int size = 0;
  FindString(id, &data, &size);
  return ZovParseRect(data, size);
}

QImage CZovResourceLibrary::LoadPng(int id) const {
  const unsigned char* data = nullptr;
  unsigned int size = 0;
  if (!Find("PNG", id, &data, &size) || size == 0 || size > unsigned(INT32_MAX)) return QImage();
  QImage image;
  if (!image.loadFromData(data, static_cast<int>(size), "PNG")) return QImage();
  return image;
}

QFont CZovResourceLibrary::CreateBoldFont(int id, const QString& face) const {
  return CreateFontOfHeight(LoadNumber(id), face, 700);
}

QFont CZovResourceLibrary::CreateNormalFont(int id, const QString& face) const {
  return CreateFontOfHeight(LoadNumber(id), face, 400);
}

QFont CZovResourceLibrary::CreateFontOfHeight(int height, const QString& face, int weight) {
  QFont font(face);
  // A proportional sans-serif face (the designed pitch and family).
  font.setStyleHint(QFont::SansSerif);
  // The height is in pixels; a negative one is a character height, the same
  // here; 0 keeps the platform's default size.
  if (height > 0) font.setPixelSize(height);
  else if (height < 0) font.setPixelSize(-height);
  font.setWeight(static_cast<QFont::Weight>(weight));
  font.setItalic(false);
  font.setUnderline(false);
  font.setStrikeOut(false);
  return font;
}
