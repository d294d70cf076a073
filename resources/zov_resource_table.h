#pragma once
// The resource library's two tables: skin PNGs (generated at build time by
// zov_skin_gen) and string resources (zov_resource_strings.cpp). Both are
// constant data sorted by nothing in particular; look-ups are linear, the
// tables are small.

struct ZovBinaryResource {
  int id;
  const unsigned char* data;
  unsigned int size;
};

struct ZovStringResource {
  int id;
  const char* text;  // rectangle "l,t,r,b", colour "r,g,b" or number "n"
};

extern const ZovBinaryResource kZovSkinPngs[];
extern const int kZovSkinPngCount;
extern const ZovStringResource kZovStrings[];
extern const int kZovStringCount;
