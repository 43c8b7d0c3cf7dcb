// CAboutDlg: the About box of template 100, naming the program and its version.
#pragma once

#include <QDialog>
#include <vector>

class CAboutDlg : public QDialog {
 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
  /// The controls in template order: icon, version text, OK.
  const std::vector<QWidget*>& Controls() const { return controls_; }

 private:
  std::vector<QWidget*> controls_;
};
