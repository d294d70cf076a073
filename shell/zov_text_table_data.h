#pragma once
// The seventeen language tables, each defined in its own source file
// (zov_text_table_<language>.cpp) and listed in the fixed order by
// zov_text_tables.cpp. Every table is constant data: an array of entries
// closed by the sentinel {"F", ""}.
#include "shell/zov_text_tables.h"

#include <cstddef>

extern const ZovTextTable kZovTextTableChinese;      // 1  chineses
extern const ZovTextTable kZovTextTableEnglish;      // 2  english
extern const ZovTextTable kZovTextTableJapanese;     // 3  jap
extern const ZovTextTable kZovTextTableFrench;       // 4  France
extern const ZovTextTable kZovTextTableGerman;       // 5  Deutsch
extern const ZovTextTable kZovTextTableTraditional;  // 6  taiwan
extern const ZovTextTable kZovTextTableKorean;       // 7  korean
extern const ZovTextTable kZovTextTableRussian;      // 8  Russia
extern const ZovTextTable kZovTextTableTurkish;      // 9  Turkey (English texts)
extern const ZovTextTable kZovTextTableHebrew;       // 10 Hebrew (English texts)
extern const ZovTextTable kZovTextTablePortuguese;   // 11 Portugal
extern const ZovTextTable kZovTextTableSpanish;      // 12 Spain
extern const ZovTextTable kZovTextTablePolish;       // 13 poland
extern const ZovTextTable kZovTextTableItalian;      // 14 Italy
extern const ZovTextTable kZovTextTableHungarian;    // 15 Hungary
extern const ZovTextTable kZovTextTableGreek;        // 16 Greece
extern const ZovTextTable kZovTextTableDutch;        // 17 Netherlands

// Every language name written in its own language, in the order of the
// language list; every table carries these rows unchanged after
// "selectlanguage".
#define ZOV_LANGUAGE_NAME_ENTRIES \
    {"chineses", "中文"}, \
    {"english", "EngLish"}, \
    {"jap", "日本語"}, \
    {"France", "France"}, \
    {"Deutsch", "Deutsch"}, \
    {"taiwan", "繁體"}, \
    {"korean", "한국어"}, \
    {"Russia", "Русский"}, \
    {"Turkey", "Turkish"}, \
    {"Hebrew", "Hebrew"}, \
    {"Portugal", "Português"}, \
    {"Spain", "Español"}, \
    {"poland", "Język polski"}, \
    {"Italy", "Italiano"}, \
    {"Hungary", "Magyar nyelv"}, \
    {"Greece", "Ελλάδα"}, \
    {"Netherlands", "Nederlands"},

// Builds a table over an entry array whose last element is the sentinel.
template <std::size_t N>
constexpr ZovTextTable ZovMakeTextTable(const char* languageName, const char* displayText,
                                        const ZovTextEntry (&entries)[N]) {
  static_assert(N >= 1, "a table holds at least its sentinel");
  return ZovTextTable{languageName, displayText, entries, static_cast<int>(N) - 1};
}
