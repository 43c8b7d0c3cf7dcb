// Tapewell: the recorder's window.
#include "app/recorder_app.h"
#include "cli/standard_fds.h"

int main(int argc, char** argv) {
  OpenClosedStandardFds();
  CRecorderApp app(argc, argv);
  app.InitInstance();
  return 0;
}
