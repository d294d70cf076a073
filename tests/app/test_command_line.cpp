// The player's command line and Qt's own translations for the chosen
// language, without windows.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGuiApplication>

#include <string>
#include <vector>

#include "app/zov_command_line.h"
#include "app/zov_qt_translations.h"

namespace {

using zov_play::CommandAction;
using Args = std::vector<std::string>;

TEST(CommandLine, OptionsAnswerOrAreRefusedAndEverythingElseIsAPath) {
  const struct {
    Args args;
    CommandAction action;
    Args paths;
    std::string error;
  } cases[] = {
      {{}, CommandAction::kRun, {}, ""},
      {{"a.mp4", "/cards/DCIM"}, CommandAction::kRun, {"a.mp4", "/cards/DCIM"}, ""},
      {{"--help"}, CommandAction::kHelp, {}, ""},
      {{"a.mp4", "-h"}, CommandAction::kHelp, {}, ""},
      {{"a.mp4", "--version", "--bogus"}, CommandAction::kVersion, {}, ""},
      {{"a.mp4", "--bogus"}, CommandAction::kUsageError, {}, "--bogus"},
      {{"-platform", "offscreen"}, CommandAction::kUsageError, {}, "-platform"},
      {{"--version=2"}, CommandAction::kUsageError, {}, "--version=2"},
      // After "--" nothing is an option; a lone "-" is a file name.
      {{"--", "-rear.mp4", "--help"}, CommandAction::kRun, {"-rear.mp4", "--help"}, ""},
      {{"-", "b.ts"}, CommandAction::kRun, {"-", "b.ts"}, ""},
  };
  for (const auto& c : cases) {
    const zov_play::CommandLine line = zov_play::ParseCommandLine(c.args);
    std::string shown;
    for (const auto& a : c.args) shown += a + " ";
    EXPECT_EQ(line.action, c.action) << shown;
    EXPECT_EQ(line.paths, c.paths) << shown;
    EXPECT_EQ(line.error, c.error) << shown;
  }
}

TEST(CommandLine, HelpStartsWithTheUsageAndNamesEveryOption) {
  const std::string help = zov_play::PlayerHelp();
  EXPECT_EQ(help.rfind(zov_play::PlayerUsage(), 0), 0u);
  for (const char* option : {"-h, --help", "--version", "--  "}) EXPECT_NE(help.find(option), std::string::npos);
}

TEST(QtTranslations, EveryTextTableLanguageHasALocale) {
  const struct {
    const char* language;
    const char* locale;
  } cases[] = {{"chineses", "zh_CN"}, {"taiwan", "zh_TW"}, {"Russia", "ru"}, {"Portugal", "pt_PT"},
               {"english", "en"},     {"Greece", "el"},    {"Chineses", ""}, {"", ""}};
  for (const auto& c : cases) EXPECT_EQ(zov_play::QtLocaleOfLanguage(c.language), c.locale) << c.language;
  for (const char* language : {"jap", "France", "Deutsch", "korean", "Turkey", "Hebrew", "Spain", "poland", "Italy",
                               "Hungary", "Netherlands"})
    EXPECT_FALSE(zov_play::QtLocaleOfLanguage(language).empty()) << language;
}

// Qt's message box buttons and file dialogs read their words through the
// translators; "Cancel" of QPlatformTheme is such a word.
QString QtCancel() { return QCoreApplication::translate("QPlatformTheme", "Cancel"); }

TEST(QtTranslations, CataloguesOfTheSystemFollowTheChosenLanguage) {
  zov_play::CZovQtTranslations translations;
  ASSERT_TRUE(translations.Apply("Russia")) << "qt6-translations-l10n installed?";
  EXPECT_EQ(QtCancel(), QString::fromUtf8("Отмена"));
  EXPECT_EQ(QGuiApplication::layoutDirection(), Qt::LeftToRight);

  ASSERT_TRUE(translations.Apply("chineses"));
  EXPECT_EQ(QtCancel(), QString::fromUtf8("取消"));

  // Hebrew reads right to left, the player's windows stay as drawn.
  ASSERT_TRUE(translations.Apply("Hebrew"));
  EXPECT_NE(QtCancel(), QStringLiteral("Cancel"));
  EXPECT_EQ(QGuiApplication::layoutDirection(), Qt::LeftToRight);

  // English, a language Qt has no catalogue for, and an unknown name all
  // leave Qt's own English, removing the catalogue chosen before.
  for (const char* language : {"english", "Greece", "klingon"}) {
    ASSERT_TRUE(translations.Apply("Deutsch"));
    EXPECT_NE(QtCancel(), QStringLiteral("Cancel"));
    EXPECT_FALSE(translations.Apply(language)) << language;
    EXPECT_EQ(QtCancel(), QStringLiteral("Cancel")) << language;
  }

  // A folder without catalogues installs nothing.
  zov_play::CZovQtTranslations none(QStringLiteral("/nonexistent"));
  EXPECT_FALSE(none.Apply("Russia"));
}

TEST(QtTranslations, EveryLanguageWithACatalogueGetsIt) {
  zov_play::CZovQtTranslations translations;
  for (const char* language : {"chineses", "jap", "France", "Deutsch", "taiwan", "korean", "Russia", "Turkey",
                               "Hebrew", "Portugal", "Spain", "poland", "Italy", "Hungary", "Netherlands"})
    EXPECT_TRUE(translations.Apply(language)) << language;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
