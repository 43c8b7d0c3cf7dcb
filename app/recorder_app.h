// CRecorderApp: starts the program. It owns the Qt application, runs the
// main dialog modally and lets the program end when the dialog closes.
#pragma once

#include <QApplication>
#include <string>

#include "app/window_options.h"

class CRecorderApp {
 public:
  /// `argc`/`argv`: the command line as typed. Qt is given only the program's
  /// name, so none of the program's tokens is taken as a Qt option (-reverse,
  /// -widgetcount, -style ...): the option scan sees every token.
  CRecorderApp(int argc, char** argv);
  /// Runs the main dialog; returns false (no message loop of its own follows).
  bool InitInstance();
  /// The arguments after the program's name joined with single blanks,
  /// without the long options (--trim, --lead-in 1 ...), which the window
  /// takes first.
  const std::string& CommandLine() const { return commandLine_; }
  /// What the long options set up for the window.
  const WindowOptions& Options() const { return options_; }

 private:
  // What Qt sees of the command line: the program's name alone. Qt keeps
  // references to both for the application's whole life.
  int qtArgc_ = 1;
  char* qtArgv_[2] = {nullptr, nullptr};
  QApplication app_;
  std::string commandLine_;      // without the long options
  WindowOptions options_;        // the long options
  WindowOptionProblem problem_;  // what was wrong with them
};
