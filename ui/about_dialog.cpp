#include "ui/about_dialog.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

#include "ui/app_icon.h"
#include "templates/dialog_template.h"
#include "ui/template_layout.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QCoreApplication::translate(kAboutContext, kAboutCaption));
  TemplateLayout layout(TemplateLayout::DialogFont());
  controls_ = layout.Build(this, kAboutContext, kAboutTemplate, kAboutWidthDu, kAboutHeightDu);
  auto* icon = static_cast<QLabel*>(controls_[0]);
  icon->setPixmap(DrawAppIcon(32));
  icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  auto* ok = static_cast<QPushButton*>(controls_[2]);
  ok->setDefault(true);
  ok->setAutoDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  ok->setFocus();
}
