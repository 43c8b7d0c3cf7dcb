#include "ui/translations.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

namespace {
QTranslator& Translator() {
  static QTranslator translator;
  return translator;
}
bool g_installed = false;
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
  if (!Translator().load(file)) return false;
  g_installed = QCoreApplication::installTranslator(&Translator());
  return g_installed;
}

Language QtSystemLanguage() {
  const QStringList languages = QLocale::system().uiLanguages();
  if (!languages.isEmpty() && languages.first().startsWith(QStringLiteral("ja"))) return Language::Japanese;
  return QLocale::system().language() == QLocale::Japanese ? Language::Japanese : Language::English;
}
