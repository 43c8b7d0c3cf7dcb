#include "ui/template_layout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <algorithm>
#include <cmath>

namespace {

// The control's text in the installed language: the template's own text
// looked up in `context` (itself when no translation has it).
QString Text(const char* context, const ControlTemplate& t) {
  if (t.text[0] == '\0') return {};
  return QCoreApplication::translate(context, t.text);
}

// The text a control shows, as its widget holds it.
QString ShownText(const QWidget* widget) {
  if (auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
  if (auto* box = qobject_cast<const QGroupBox*>(widget)) return box->title();
  if (auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
  return {};
}

QString WithoutMnemonics(QString text) {
  text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  text.remove(QLatin1Char('&'));
  text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
  return text;
}

QWidget* MakeControl(const char* context, const ControlTemplate& t, QWidget* parent) {
  QWidget* w = nullptr;
  switch (t.kind) {
    case ControlKind::PushButton: {
      auto* b = new QPushButton(Text(context, t), parent);
      b->setAutoDefault(false);
      w = b;
      break;
    }
    case ControlKind::CheckBox: w = new QCheckBox(Text(context, t), parent); break;
    case ControlKind::RadioButton:
      w = new QRadioButton(Text(context, t), parent);
      w->setFocusPolicy(Qt::ClickFocus);  // no tab stop: reached by its mnemonic
      break;
    case ControlKind::GroupBox: w = new QGroupBox(Text(context, t), parent); break;
    case ControlKind::Trackbar: {
      auto* s = new QSlider(Qt::Horizontal, parent);
      s->setRange(0, 100);  // a new trackbar's range, until the dialog sets its own
      s->setTickPosition(t.ticks ? QSlider::TicksBelow : QSlider::NoTicks);
      s->setTickInterval(1);
      w = s;
      break;
    }
    case ControlKind::Icon: w = new QLabel(parent); break;
    case ControlKind::Edit: w = new QLineEdit(parent); break;
    case ControlKind::ComboBox: w = new QComboBox(parent); break;
    case ControlKind::Progress: w = new QProgressBar(parent); break;
    case ControlKind::Text: {
      auto* l = new QLabel(Text(context, t), parent);
      Qt::Alignment a = t.align == TextAlign::Center ? Qt::AlignHCenter
                        : t.align == TextAlign::Right ? Qt::AlignRight
                                                      : Qt::AlignLeft;
      a |= t.vCenter ? Qt::AlignVCenter : Qt::AlignTop;
      l->setAlignment(a);
      l->setTextFormat(Qt::PlainText);
      if (t.sunken) l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      w = l;
      break;
    }
  }
  if (t.hidden) w->hide();
  if (t.disabled) w->setEnabled(false);
  if (!t.tabStop && t.kind != ControlKind::RadioButton) w->setFocusPolicy(Qt::NoFocus);
  return w;
}

}  // namespace

QFont TemplateLayout::DialogFont() {
  const QStringList families = QFontDatabase::families();
  for (const char* name : {"ＭＳ Ｐゴシック", "MS PGothic", "Noto Sans CJK JP", "Noto Sans JP", "IPAPGothic"}) {
    const QString family = QString::fromUtf8(name);
    if (families.contains(family)) return QFont(family, 9);
  }
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(9);
  return font;
}

TemplateLayout::TemplateLayout(const QFont& font) : font_(font) {
  const QFontMetrics fm(font_);
  // The platform's own measure: the average width of the 52 Latin letters.
  const int letters = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  baseX_ = (letters / 26 + 1) / 2;
  baseY_ = fm.height();
}

QRect TemplateLayout::ToPixels(int x, int y, int width, int height) const {
  auto px = [](int du, double base, int div) { return static_cast<int>(std::lround(du * base / div)); };
  return {px(x, baseX_, 4), px(y, baseY_, 8), px(width, baseX_, 4), px(height, baseY_, 8)};
}

QSize TemplateLayout::TextNeeds(const QWidget* widget, const ControlTemplate& t) {
  const QFontMetrics fm(widget->font());
  switch (t.kind) {
    case ControlKind::PushButton: {
      const QRect r = fm.boundingRect(QRect(), Qt::TextShowMnemonic, WithoutMnemonics(ShownText(widget)));
      return {r.width() + 6, r.height() + 2};
    }
    case ControlKind::CheckBox:
    case ControlKind::RadioButton:
    case ControlKind::Text:
      return widget->sizeHint();
    case ControlKind::GroupBox:
      return {fm.horizontalAdvance(ShownText(widget)) + 16, fm.height()};
    case ControlKind::Trackbar:
    case ControlKind::Icon:
    case ControlKind::Edit:
    case ControlKind::ComboBox:
    case ControlKind::Progress:
      break;
  }
  return {0, 0};
}

std::vector<QWidget*> TemplateLayout::Build(QWidget* dialog, const char* context,
                                            std::span<const ControlTemplate> controls, int widthDu, int heightDu) {
  dialog->setFont(font_);
  std::vector<QWidget*> widgets;
  for (const auto& t : controls) widgets.push_back(MakeControl(context, t, dialog));

  // Widen the units until every text fits its control.
  double scaleX = 1, scaleY = 1;
  for (size_t i = 0; i < controls.size(); ++i) {
    const auto& t = controls[i];
    if (t.kind == ControlKind::Text && std::string_view(t.text) == "Static") continue;  // replaced at run time
    const QSize need = TextNeeds(widgets[i], t);
    const QRect has = ToPixels(t.x, t.y, t.width, t.height);
    if (has.width() > 0) scaleX = std::max(scaleX, need.width() / static_cast<double>(has.width()));
    if (has.height() > 0 && t.kind == ControlKind::Text) {
      scaleY = std::max(scaleY, need.height() / static_cast<double>(has.height()));
    }
  }
  baseX_ = std::ceil(baseX_ * scaleX * 4) / 4;
  baseY_ = std::ceil(baseY_ * scaleY * 8) / 8;

  Place(controls, widgets);
  const QRect size = ToPixels(0, 0, widthDu, heightDu);
  dialog->setFixedSize(size.width(), size.height());

  // Group boxes are frames behind the controls they surround.
  for (size_t i = 0; i < controls.size(); ++i) {
    if (controls[i].kind == ControlKind::GroupBox) widgets[i]->lower();
  }
  // Tab order is template order.
  QWidget* previous = nullptr;
  for (size_t i = 0; i < controls.size(); ++i) {
    if (!controls[i].tabStop) continue;
    if (previous) QWidget::setTabOrder(previous, widgets[i]);
    previous = widgets[i];
  }
  return widgets;
}

void TemplateLayout::Place(std::span<const ControlTemplate> controls, const std::vector<QWidget*>& widgets) const {
  for (size_t i = 0; i < controls.size(); ++i) {
    const auto& t = controls[i];
    widgets[i]->setGeometry(ToPixels(t.x, t.y, t.width, t.height));
  }
}
