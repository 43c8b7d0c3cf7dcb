// CRecorderApp: starts the program. It owns the Qt application, runs the
// main dialog modally and lets the program end when the dialog closes.
#pragma once

#include <QApplication>

class CRecorderApp {
 public:
  CRecorderApp(int& argc, char** argv);
  /// Runs the main dialog; returns false (no message loop of its own follows).
  bool InitInstance();

 private:
  QApplication app_;
  std::string commandLine_;
};
