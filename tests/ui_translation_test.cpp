// The window in both languages: Japanese is the templates' own text, English
// comes from the translation file. Each translation file covers every text
// the window shows; no text is clipped and every mnemonic is unique in
// either language; the mnemonics work.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTest>
#include <QXmlStreamReader>
#include <filesystem>
#include <set>

#include "tests/engine_harness.h"
#include "tests/test_support.h"
#include "ui/about_dialog.h"
#include "ui/options_dialog.h"
#include "templates/dialog_template.h"
#include "ui/recorder_dialog.h"
#include "ui/translations.h"

namespace {

// Every warning Qt prints while a test runs; the window must print none.
QStringList g_qtWarnings;
void CollectWarnings(QtMsgType type, const QMessageLogContext&, const QString& text) {
  // The headless platform's own complaint about a window with a fixed size.
  if (text == QStringLiteral("This plugin does not support propagateSizeHints()")) return;
  if (type != QtDebugMsg && type != QtInfoMsg) g_qtWarnings << text;
}

using Message = std::pair<std::string, std::string>;  // context, source text

// One translation file's entries, and the ones that are not finished.
struct TsFile {
  std::set<Message> messages;
  std::vector<std::string> unfinished;  // "context: source (why)"
};

TsFile ReadTs(const QString& path) {
  TsFile ts;
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
  QXmlStreamReader xml(&file);
  std::string context, source;
  while (xml.readNext() != QXmlStreamReader::EndDocument && !xml.hasError()) {
    if (!xml.isStartElement()) continue;
    if (xml.name() == u"name") {
      context = xml.readElementText().toStdString();
    } else if (xml.name() == u"source") {
      source = xml.readElementText().toStdString();
      ts.messages.insert({context, source});
    } else if (xml.name() == u"translation") {
      const QString type = xml.attributes().value(QStringLiteral("type")).toString();
      QStringList texts;
      bool numerus = false;
      while (xml.readNext() != QXmlStreamReader::EndElement || xml.name() != u"translation") {
        if (xml.isCharacters() && !xml.isWhitespace()) texts << xml.text().toString();
        if (xml.isStartElement() && xml.name() == u"numerusform") {
          numerus = true;
          if (xml.readElementText().isEmpty()) texts << QString();
        }
        if (xml.hasError()) break;
      }
      const std::string where = context + ": " + source;
      if (!type.isEmpty()) ts.unfinished.push_back(where + " (" + type.toStdString() + ")");
      if (texts.isEmpty() && !numerus) ts.unfinished.push_back(where + " (empty)");
      if (texts.contains(QString())) ts.unfinished.push_back(where + " (empty plural form)");
    }
  }
  EXPECT_FALSE(xml.hasError()) << path.toStdString() << ":" << xml.lineNumber() << ": " << xml.errorString().toStdString();
  return ts;
}

// Every text the window asks the translation for.
std::set<Message> WindowTexts() {
  std::set<Message> texts;
  auto templateTexts = [&](const char* context, const char* caption, auto& controls) {
    texts.insert({context, caption});
    for (const ControlTemplate& t : controls) {
      const std::string_view text(t.text);
      if (!text.empty() && text != "Static" && text != "Slider1") texts.insert({context, t.text});
    }
  };
  templateTexts(kRecorderContext, kRecorderCaption, kRecorderTemplate);
  templateTexts(kAboutContext, kAboutCaption, kAboutTemplate);
  for (int id = IDS_ABOUTBOX; id <= kLastTableString; ++id) {
    texts.insert({"StringTable", LoadTableString(id, Language::English)});
  }
  for (const char* text : OptionsDialogTexts()) texts.insert({"OptionsDialog", text});
  return texts;
}

QString TsPath(const char* language) {
  return QStringLiteral(TAPEWELL_TS_DIR "/tapewell_%1.ts").arg(QLatin1String(language));
}

bool HasJapanese(const QString& text) {
  for (QChar c : text) {
    const char16_t u = c.unicode();
    if ((u >= 0x3040 && u <= 0x30FF) || (u >= 0x4E00 && u <= 0x9FFF) || (u >= 0xFF00 && u <= 0xFFEF)) return true;
  }
  return false;
}

QString WithoutMnemonic(QString text) {
  text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  text.remove(QLatin1Char('&'));
  text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
  return text;
}

// The text a control shows.
QString Shown(const QWidget* w) {
  if (auto* b = qobject_cast<const QAbstractButton*>(w)) return b->text();
  if (auto* g = qobject_cast<const QGroupBox*>(w)) return g->title();
  if (auto* l = qobject_cast<const QLabel*>(w)) return l->text();
  return {};
}

// Why a control's text does not fit the room its style gives the text, or
// empty when it fits. The measures are the style's own: the contents
// rectangle of a button, check box or radio button, the label rectangle of
// a group box, the contents rectangle of a label.
std::string Clipped(const QWidget* w) {
  const QString text = WithoutMnemonic(Shown(w));
  const QFontMetrics fm = w->fontMetrics();
  QRect room, needs;
  if (auto* b = qobject_cast<const QAbstractButton*>(w)) {
    QStyleOptionButton opt;
    opt.initFrom(b);
    opt.text = b->text();
    const auto element = qobject_cast<const QPushButton*>(w) ? QStyle::SE_PushButtonContents
                         : w->inherits("QRadioButton")      ? QStyle::SE_RadioButtonContents
                                                            : QStyle::SE_CheckBoxContents;
    room = w->style()->subElementRect(element, &opt, w);
    needs = fm.boundingRect(room, Qt::AlignCenter | Qt::TextShowMnemonic, b->text());
  } else if (auto* g = qobject_cast<const QGroupBox*>(w)) {
    QStyleOptionGroupBox opt;
    opt.initFrom(g);
    opt.text = g->title();
    opt.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
    opt.textAlignment = g->alignment();
    room = g->rect();
    needs = g->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, g);
  } else if (auto* l = qobject_cast<const QLabel*>(w)) {
    room = l->contentsRect();
    needs = fm.boundingRect(room, int(l->alignment()), text);
  }
  if (needs.width() > room.width() || needs.height() > room.height() || !room.contains(needs)) {
    return "\"" + text.toStdString() + "\" needs " + std::to_string(needs.width()) + "x" +
           std::to_string(needs.height()) + " at " + std::to_string(needs.x()) + "," + std::to_string(needs.y()) +
           ", has " + std::to_string(room.width()) + "x" + std::to_string(room.height()) + " at " +
           std::to_string(room.x()) + "," + std::to_string(room.y());
  }
  return {};
}

class LanguageTest : public ::testing::TestWithParam<Language> {
 protected:
  void SetUp() override {
    saved_ = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    g_recorderState = RecorderState{};
    StopCapture();
    g_waveFileState = WaveFileState{};
    SetWaveInService(&fake);
    g_qtWarnings.clear();
    ASSERT_TRUE(InstallLanguage(GetParam()));
    dialog = std::make_unique<CRecorderDlg>(naming, ports, "-w" + dir.path());
    dialog->OnInitDialog();
  }
  void TearDown() override {
    EXPECT_TRUE(g_qtWarnings.isEmpty()) << "Qt printed: " << g_qtWarnings.join(" | ").toStdString();
    dialog.reset();
    StopCapture();
    SetWaveInService(nullptr);
    g_waveFileState = WaveFileState{};
    InstallLanguage(Language::English);
    std::filesystem::current_path(saved_);
  }
  bool Japanese() const { return GetParam() == Language::Japanese; }

  testsupport::TempDir dir;
  harness::FixedDateNaming naming;
  FakePort ports;
  FakeWaveInService fake;
  std::unique_ptr<CRecorderDlg> dialog;

 private:
  std::filesystem::path saved_;
};

}  // namespace

TEST(TranslationFilesTest, EachFileTranslatesEveryTextTheWindowShows) {
  const std::set<Message> expected = WindowTexts();
  for (const char* language : {"ja", "en"}) {
    const TsFile ts = ReadTs(TsPath(language));
    EXPECT_TRUE(ts.unfinished.empty()) << language << ": " << ::testing::PrintToString(ts.unfinished);
    for (const Message& m : expected) {
      EXPECT_TRUE(ts.messages.count(m)) << language << " lacks " << m.first << ": " << m.second;
    }
    for (const Message& m : ts.messages) {
      EXPECT_TRUE(expected.count(m)) << language << " has a text the window never shows: " << m.first << ": "
                                     << m.second;
    }
  }
}

TEST(TranslationFilesTest, TheStringTableAsLupdateSeesItIsTheTable) {
  for (int id = IDS_ABOUTBOX; id <= kLastTableString; ++id) {
    EXPECT_EQ(StringTableSources().at(size_t(id - IDS_ABOUTBOX)), LoadTableString(id, Language::English)) << id;
  }
  EXPECT_EQ(StringTableSources().back(), LoadTableString(kLastTableString, Language::English));
}

TEST(TranslationFilesTest, LupdateFindsNoNewText) {
  // lupdate over the window's sources and the templates, into copies of the files: a text
  // added to the sources without a translation would come out unfinished.
  testsupport::TempDir scratch;
  for (const char* language : {"ja", "en"}) {
    const QString copy = QString::fromStdString(scratch.file(std::string("tapewell_") + language + ".ts"));
    ASSERT_TRUE(QFile::copy(TsPath(language), copy));
    QProcess lupdate;
    lupdate.start(QStringLiteral(TAPEWELL_LUPDATE),
                  {QStringLiteral(TAPEWELL_UI_DIR), QStringLiteral(TAPEWELL_TEMPLATES_DIR), QStringLiteral("-no-obsolete"), QStringLiteral("-locations"),
                   QStringLiteral("none"), QStringLiteral("-ts"), copy});
    ASSERT_TRUE(lupdate.waitForFinished(60000));
    ASSERT_EQ(lupdate.exitCode(), 0) << lupdate.readAllStandardError().toStdString();
    const TsFile ts = ReadTs(copy);
    EXPECT_TRUE(ts.unfinished.empty()) << language << ": " << ::testing::PrintToString(ts.unfinished);
    EXPECT_EQ(ts.messages, ReadTs(TsPath(language)).messages) << language;
  }
}

TEST_P(LanguageTest, TextsAreTheTemplatesInJapaneseAndEnglishOtherwise) {
  auto check = [&](const char* caption, QWidget& window, auto& controls, const std::vector<QWidget*>& widgets) {
    EXPECT_EQ(window.windowTitle() == QString::fromUtf8(caption), Japanese()) << window.windowTitle().toStdString();
    EXPECT_FALSE(window.windowTitle().isEmpty());
    for (size_t i = 0; i < controls.size(); ++i) {
      const ControlTemplate& t = controls[i];
      const std::string_view source(t.text);
      if (source.empty() || source == "Slider1" || source == "Static") continue;
      const QString shown = Shown(widgets[i]);
      EXPECT_FALSE(shown.isEmpty()) << t.text;
      if (Japanese()) {
        EXPECT_EQ(shown, QString::fromUtf8(t.text));
      } else {
        EXPECT_FALSE(HasJapanese(shown)) << shown.toStdString();
      }
    }
    if (!Japanese()) {
      EXPECT_FALSE(HasJapanese(window.windowTitle())) << window.windowTitle().toStdString();
    }
  };
  ASSERT_EQ(dialog->Controls().size(), kRecorderTemplate.size());
  check(kRecorderCaption, *dialog, kRecorderTemplate, dialog->Controls());
  CAboutDlg about;
  check(kAboutCaption, about, kAboutTemplate, about.Controls());
  // The menu item comes from the string table.
  const auto actions = dialog->SystemMenu()->actions();
  ASSERT_EQ(actions.size(), 3);
  EXPECT_EQ(actions[1]->text().toStdString(), LoadTableString(IDS_ABOUTBOX, GetParam()));
  EXPECT_EQ(actions[2]->text().toStdString(), LoadTableString(IDS_OPTIONS, GetParam()));
}

TEST_P(LanguageTest, TheOptionsDialogIsInTheWindowsLanguageFitsAndHasUniqueMnemonics) {
  LevelMeter meter;
  COptionsDlg options({}, {{"mic", "Microphone", "", true, false}}, meter, nullptr, 44100);
  options.show();
  EXPECT_EQ(HasJapanese(options.windowTitle()), Japanese());
  std::set<int> keys;
  int texts = 0;
  for (QWidget* w : options.findChildren<QWidget*>()) {
    const QString shown = Shown(w);
    if (shown.isEmpty() || w->inherits("QDialogButtonBox") || w->parent()->inherits("QDialogButtonBox")) continue;
    ++texts;
    if (!Japanese()) {
      EXPECT_FALSE(HasJapanese(shown)) << shown.toStdString();
    }
    EXPECT_EQ(Clipped(w), "") << shown.toStdString();
    EXPECT_TRUE(options.rect().contains(w->mapTo(&options, w->rect().bottomRight()))) << shown.toStdString();
    const int key = QKeySequence::mnemonic(shown)[0].toCombined();
    if (key != 0) {
      EXPECT_TRUE(keys.insert(key).second) << shown.toStdString();
    }
  }
  EXPECT_GE(texts, 12);
  EXPECT_EQ(keys.size(), 8u);  // every setting a person changes has its letter
}

TEST_P(LanguageTest, NoTextIsClipped) {
  dialog->show();
  CAboutDlg about;
  about.show();
  int checked = 0;
  auto check = [&](QWidget& window, auto& controls, const std::vector<QWidget*>& widgets) {
    for (size_t i = 0; i < controls.size(); ++i) {
      const std::string_view source(controls[i].text);
      if (source.empty() || source == "Slider1" || source == "Static") continue;  // no text of the template's
      EXPECT_EQ(Clipped(widgets[i]), "");
      EXPECT_TRUE(window.rect().contains(widgets[i]->geometry())) << controls[i].text;
      ++checked;
    }
  };
  check(*dialog, kRecorderTemplate, dialog->Controls());
  check(about, kAboutTemplate, about.Controls());
  EXPECT_EQ(checked, 23 + 2);  // every labelled control of both templates
}

TEST_P(LanguageTest, MnemonicsAreUniqueAndOnTheSameControls) {
  std::map<int, int> owner;  // key -> control id
  for (const auto& t : kRecorderTemplate) {
    auto* button = qobject_cast<QAbstractButton*>(t.id == IDC_STATIC ? nullptr : dialog->Control(t.id));
    if (!button) continue;
    const int key = QKeySequence::mnemonic(button->text())[0].toCombined();
    const bool templateHasOne = !QKeySequence::mnemonic(QString::fromUtf8(t.text)).isEmpty();
    EXPECT_EQ(key != 0, templateHasOne) << button->text().toStdString();
    if (key == 0) continue;
    EXPECT_FALSE(owner.count(key)) << button->text().toStdString() << " repeats a mnemonic";
    owner[key] = t.id;
  }
  EXPECT_EQ(owner.size(), 12u);
}

TEST_P(LanguageTest, MnemonicsWork) {
  dialog->show();
  dialog->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
  // Alt and the letter press the control's button at once and release it
  // (the click) a moment later, as a mouse click would look.
  auto press = [&](Qt::Key key, int id) {
    auto* button = static_cast<QAbstractButton*>(dialog->Control(id));
    QTest::keyClick(dialog.get(), key, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !button->isDown(); }, 5000)) << id;
  };
  press(Qt::Key_A, IDC_AUTO_TRACK);
  EXPECT_TRUE(static_cast<QAbstractButton*>(dialog->Control(IDC_AUTO_TRACK))->isChecked());
  press(Qt::Key_3, IDC_RATE_32K);
  EXPECT_EQ(g_nSampleRate, 32000);
  press(Qt::Key_R, IDC_RECORD);
  EXPECT_TRUE(g_bRecording);
  press(Qt::Key_M, IDC_TRACK_MARK);
  press(Qt::Key_S, IDC_STOP);
  EXPECT_FALSE(g_bRecording);
  EXPECT_TRUE(std::filesystem::exists(dir.file("07Dec002.wav"))) << "Track mark opened the second file";
  press(Qt::Key_X, IDCANCEL);
  EXPECT_FALSE(dialog->isVisible()) << "Exit";
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, LanguageTest, ::testing::Values(Language::Japanese, Language::English),
                         [](const auto& info) {
                           return std::string(info.param == Language::Japanese ? "Japanese" : "English");
                         });

int main(int argc, char** argv) {
  if (qgetenv("QT_QPA_PLATFORM") != "xcb") qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  qInstallMessageHandler(CollectWarnings);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
