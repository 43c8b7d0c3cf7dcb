// Builds a dialog's controls from its template: picks the dialog font,
// converts dialog units to pixels with that font's metrics (a horizontal
// unit is a quarter of the average character width, a vertical unit an
// eighth of the character height), and widens the units until no text is
// clipped.
#pragma once

#include <QFont>
#include <QRect>
#include <QWidget>
#include <span>
#include <vector>

#include "templates/dialog_template.h"

class TemplateLayout {
 public:
  /// The dialog font: "ＭＳ Ｐゴシック" 9 pt where installed, else a Japanese-capable sans.
  static QFont DialogFont();

  explicit TemplateLayout(const QFont& font);

  /// Creates the controls of `controls` as children of `dialog` (in order),
  /// with their texts translated in the translation context `context`, lays
  /// them out and sizes the dialog. Returns the widgets in template order.
  std::vector<QWidget*> Build(QWidget* dialog, const char* context, std::span<const ControlTemplate> controls,
                              int widthDu, int heightDu);

  /// Pixels of a rectangle given in dialog units.
  QRect ToPixels(int x, int y, int width, int height) const;
  double baseX() const { return baseX_; }
  double baseY() const { return baseY_; }

  /// The size the text that a control shows needs, in pixels.
  static QSize TextNeeds(const QWidget* widget, const ControlTemplate& t);

 private:
  void Place(std::span<const ControlTemplate> controls, const std::vector<QWidget*>& widgets) const;
  QFont font_;
  double baseX_ = 0, baseY_ = 0;
};
