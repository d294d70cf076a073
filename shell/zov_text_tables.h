#pragma once
// The built-in UI text tables: seventeen languages, each an array of
// key/text entries closed by the sentinel entry "F". Every visible text of the
// program is looked up by a short ASCII key in the current table.
//
// Threads: the tables are constant data. The current-table pointer of
// CZovTextSelector is changed on the user-interface thread only (settings load
// and the set-language setter) and read from any thread (the map page bridge
// calls GetText from the browser's thread), so it is an atomic pointer.
#include <atomic>
#include <string>
#include <string_view>

// Fixed entry layout of the tables, in 16-bit characters: a key of at most
// 31 characters and a text of at most 511 (each with its terminating zero).
inline constexpr int kZovTextKeyChars = 32;
inline constexpr int kZovTextChars = 512;

// Number of built-in tables.
inline constexpr int kZovTextTableCount = 17;
// Table current before the settings are loaded: table 2, "english" (index 1).
inline constexpr int kZovDefaultTextTable = 1;

// One entry. Both strings are UTF-8; the key is ASCII. Texts may hold "\n".
struct ZovTextEntry {
  const char* key;
  const char* text;
};

// One language table. `entries` has `count` real entries followed by the
// sentinel {"F", ""}.
struct ZovTextTable {
  const char* languageName;  // what a "language%d" settings value must hold
  const char* displayText;   // the table's own name for its language
  const ZovTextEntry* entries;
  int count;                 // entries without the sentinel
};

// Table by position in the fixed order (0 = "chineses" ... 16 =
// "Netherlands"); null outside 0..16.
const ZovTextTable* ZovTextTableAt(int index);

// Table whose language name equals `languageName` exactly (case-sensitive);
// null when none does.
const ZovTextTable* ZovFindTextTable(std::string_view languageName);

// Position of `table` in the fixed order, -1 when it is not one of them.
int ZovTextTableIndex(const ZovTextTable* table);

// The look-up over one table: walks from the first entry, compares key length
// then characters; the first match wins; stops after examining an entry with
// a one-character key (the sentinel). Empty when absent or `table` is null.
std::string ZovLookUpText(const ZovTextTable* table, std::string_view key);

// The text of `key` among the texts added for later features (one per
// table, zov_text_table_added.cpp); empty when it is not one of them or the
// index is outside 0..16.
std::string ZovAddedTextOf(int tableIndex, std::string_view key);

// The current table and the text service built on it. CZovSettings holds one
// and forwards its GetText and language choice here.
class CZovTextSelector {
 public:
  // Starts with table 2 ("english") current.
  CZovTextSelector();

  // Makes the table whose language name matches exactly the current one.
  // Returns false, leaving the current table as it was, when none matches.
  bool ChooseTable(std::string_view languageName);

  // Text of `key` in the current table, else among the added texts of its
  // language; empty when absent from both.
  std::string GetText(std::string_view key) const;

  const ZovTextTable* CurrentTable() const { return current_.load(std::memory_order_acquire); }
  // Language name of the current table.
  std::string CurrentLanguageName() const;

 private:
  std::atomic<const ZovTextTable*> current_;
};
