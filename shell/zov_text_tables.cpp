#include "shell/zov_text_tables.h"

#include <cstring>

#include "shell/zov_text_table_data.h"

namespace {

// The fixed order: a settings "language%d" value is matched against the
// language names in exactly this order.
const ZovTextTable* const kTables[kZovTextTableCount] = {
    &kZovTextTableChinese,    &kZovTextTableEnglish,    &kZovTextTableJapanese,
    &kZovTextTableFrench,     &kZovTextTableGerman,     &kZovTextTableTraditional,
    &kZovTextTableKorean,     &kZovTextTableRussian,    &kZovTextTableTurkish,
    &kZovTextTableHebrew,     &kZovTextTablePortuguese, &kZovTextTableSpanish,
    &kZovTextTablePolish,     &kZovTextTableItalian,    &kZovTextTableHungarian,
    &kZovTextTableGreek,      &kZovTextTableDutch,
};

}  // namespace

const ZovTextTable* ZovTextTableAt(int index) {
  if (index < 0 || index >= kZovTextTableCount) return nullptr;
  return kTables[index];
}

const ZovTextTable* ZovFindTextTable(std::string_view languageName) {
  for (const ZovTextTable* table : kTables) {
    if (languageName == table->languageName) return table;
  }
  return nullptr;
}

int ZovTextTableIndex(const ZovTextTable* table) {
  for (int i = 0; i < kZovTextTableCount; ++i) {
    if (kTables[i] == table) return i;
  }
  return -1;
}

std::string ZovLookUpText(const ZovTextTable* table, std::string_view key) {
  if (table == nullptr || table->entries == nullptr) return std::string();
  // Walk until a match; the entry with a one-character key (the sentinel
  // "F") ends the walk after it has been compared, so "F" itself matches the
  // sentinel and yields its empty text.
  for (const ZovTextEntry* entry = table->entries;; ++entry) {
    const std::size_t length = std::strlen(entry->key);
    if (length == key.size() && std::memcmp(entry->key, key.data(), length) == 0) {
      return std::string(entry->text);
    }
    if (length == 1) break;
  }
  return std::string();
}

CZovTextSelector::CZovTextSelector() : current_(kTables[kZovDefaultTextTable]) {}

bool CZovTextSelector::ChooseTable(std::string_view languageName) {
  const ZovTextTable* table = ZovFindTextTable(languageName);
  if (table == nullptr) return false;
  current_.store(table, std::memory_order_release);
  return true;
}

std::string CZovTextSelector::GetText(std::string_view key) const {
  const ZovTextTable* table = CurrentTable();
  std::string text = ZovLookUpText(table, key);
  if (text.empty()) text = ZovAddedTextOf(ZovTextTableIndex(table), key);
  return text;
}

std::string CZovTextSelector::CurrentLanguageName() const {
  const ZovTextTable* table = CurrentTable();
  return table ? std::string(table->languageName) : std::string();
}
