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

bool InstallLanguage(Language language) {
  if (g_installed) {
    QCoreApplication::removeTranslator(&Translator());
    g_installed = false;
  }
  if (language == Language::English) return true;
  if (!Translator().load(QStringLiteral(":/i18n/tapewell_ja.qm"))) return false;
  g_installed = QCoreApplication::installTranslator(&Translator());
  return g_installed;
}

Language QtSystemLanguage() {
  const QStringList languages = QLocale::system().uiLanguages();
  if (!languages.isEmpty() && languages.first().startsWith(QStringLiteral("ja"))) return Language::Japanese;
  return QLocale::system().language() == QLocale::Japanese ? Language::Japanese : Language::English;
}
