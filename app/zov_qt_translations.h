#pragma once
// Qt's own texts (file and folder dialogs, message box buttons, context
// menus) in the language the player speaks, from the catalogues the system
// installs (Debian's qt6-translations-l10n). The player's own texts come
// from its text tables; this only covers what Qt draws for it.
#include <memory>
#include <string>
#include <string_view>

#include <QString>

class QTranslator;

namespace zov_play {

// The locale name ("ru", "zh_CN") of a text table's language name
// ("Russia", "chineses"); empty for an unknown name.
std::string QtLocaleOfLanguage(std::string_view languageName);

// Keeps one translator installed in the application for the chosen language.
class CZovQtTranslations {
 public:
  // `folder` holds the catalogues; empty means Qt's own translations folder.
  explicit CZovQtTranslations(QString folder = QString());
  ~CZovQtTranslations();

  // Replaces the installed catalogue by the one of `languageName`. English,
  // an unknown name or a missing catalogue leave Qt's built-in English.
  // True when a catalogue was installed.
  bool Apply(std::string_view languageName);

 private:
  QString folder_;
  std::unique_ptr<QTranslator> translator_;
};

// The player's one set of Qt catalogues, from Qt's translations folder.
CZovQtTranslations& ProcessQtTranslations();

}  // namespace zov_play
