#include "app/zov_qt_translations.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace zov_play {

namespace {

struct LanguageLocale {
  std::string_view language;  // the text table's language name
  const char* locale;
};

// One row per text table, in the tables' order.
constexpr LanguageLocale kLanguageLocales[] = {
    {"chineses", "zh_CN"}, {"english", "en"}, {"jap", "ja"},      {"France", "fr"},   {"Deutsch", "de"},
    {"taiwan", "zh_TW"},   {"korean", "ko"},  {"Russia", "ru"},   {"Turkey", "tr"},   {"Hebrew", "he"},
    {"Portugal", "pt_PT"}, {"Spain", "es"},   {"poland", "pl"},   {"Italy", "it"},    {"Hungary", "hu"},
    {"Greece", "el"},      {"Netherlands", "nl"},
};

}  // namespace

std::string QtLocaleOfLanguage(std::string_view languageName) {
  for (const LanguageLocale& row : kLanguageLocales)
    if (row.language == languageName) return row.locale;
  return {};
}

CZovQtTranslations::CZovQtTranslations(QString folder)
    : folder_(folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : std::move(folder)) {}

CZovQtTranslations::~CZovQtTranslations() {
  if (translator_ && QCoreApplication::instance()) QCoreApplication::removeTranslator(translator_.get());
}

bool CZovQtTranslations::Apply(std::string_view languageName) {
  if (translator_) {
    QCoreApplication::removeTranslator(translator_.get());
    translator_.reset();
  }
  const std::string locale = QtLocaleOfLanguage(languageName);
  if (locale.empty() || locale == "en") return false;
  auto translator = std::make_unique<QTranslator>();
  // "qt_LL" gathers the catalogues of Qt's modules (base, multimedia, ...).
  if (!translator->load(QLocale(QString::fromStdString(locale)), QStringLiteral("qt"), QStringLiteral("_"), folder_))
    return false;
  QCoreApplication::installTranslator(translator.get());
  translator_ = std::move(translator);
  // The windows are drawn for left-to-right text in every language (the
  // Hebrew table holds English texts); a right-to-left catalogue must not
  // mirror them.
  QGuiApplication::setLayoutDirection(Qt::LeftToRight);
  return true;
}

CZovQtTranslations& ProcessQtTranslations() {
  static CZovQtTranslations translations;
  return translations;
}

}  // namespace zov_play
