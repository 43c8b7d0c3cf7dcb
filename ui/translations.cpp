#include "ui/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {
QTranslator& Translator() {
  static QTranslator translator;
  return translator;
}
bool g_installed = false;

// Qt's own texts (the folder browser's buttons and labels), from the
// translations Qt installs (Debian: qt6-translations-l10n).
QTranslator& QtTranslator() {
  static QTranslator translator;
  return translator;
}
bool g_qtInstalled = false;
}  // namespace

const std::array<const char*, kTableStrings>& StringTableSources() {
  // The window looks these up by the text LoadTableString gives; listing them
  // here lets lupdate see them.
  static const std::array<const char*, kTableStrings> sources = {
      QT_TRANSLATE_NOOP("StringTable", "&About Tapewell…"),
      QT_TRANSLATE_NOOP("StringTable", "failed to allocate memory."),
      QT_TRANSLATE_NOOP("StringTable", "failed to open file!"),
      QT_TRANSLATE_NOOP("StringTable", "failed to write file."),
      QT_TRANSLATE_NOOP("StringTable", "failed to record sound."),
      QT_TRANSLATE_NOOP("StringTable", "REC - "),
      QT_TRANSLATE_NOOP("StringTable", "Silent"),
      QT_TRANSLATE_NOOP("StringTable", "choose destination folder."),
      QT_TRANSLATE_NOOP("StringTable", " - %1 frame dropped"),
      QT_TRANSLATE_NOOP("StringTable", " - %1 frames dropped"),
      QT_TRANSLATE_NOOP("StringTable",
                        "Windows gives programs no access to I/O port %1:\nthe MPEG input can be set only from Linux "
                        "(tapewell-card)"),
      QT_TRANSLATE_NOOP("StringTable", "%1 - track %2 - %3 frames dropped"),
      QT_TRANSLATE_NOOP("StringTable", "Recorded %1 - tracks: %2 - frames dropped: %3"),
      QT_TRANSLATE_NOOP("StringTable", "Silence length: %1 s"),
      QT_TRANSLATE_NOOP("StringTable", "Silence level: threshold %1 (2^%2), %3 dBFS"),
      QT_TRANSLATE_NOOP("StringTable", "&Options…"),
      QT_TRANSLATE_NOOP("StringTable", "level %1 dBFS (silence below %2)"),
  };
  return sources;
}

bool InstallLanguage(Language language) {
  if (g_installed) {
    QCoreApplication::removeTranslator(&Translator());
    g_installed = false;
  }
  const QString file = language == Language::Japanese ? QStringLiteral(":/i18n/tapewell_ja.qm")
                                                      : QStringLiteral(":/i18n/tapewell_en.qm");
  if (g_qtInstalled) {
    QCoreApplication::removeTranslator(&QtTranslator());
    g_qtInstalled = false;
  }
  // Qt's texts are English already; without its Japanese file they stay so.
  if (language == Language::Japanese &&
      QtTranslator().load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    g_qtInstalled = QCoreApplication::installTranslator(&QtTranslator());
  }
  if (!Translator().load(file)) return false;
  g_installed = QCoreApplication::installTranslator(&Translator());
  return g_installed;
}

Language QtSystemLanguage() {
  const QStringList languages = QLocale::system().uiLanguages();
  if (!languages.isEmpty() && languages.first().startsWith(QStringLiteral("ja"))) return Language::Japanese;
  return QLocale::system().language() == QLocale::Japanese ? Language::Japanese : Language::English;
}
