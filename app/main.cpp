// Tapewell: the recorder's window.
#include "app/recorder_app.h"

int main(int argc, char** argv) {
  CRecorderApp app(argc, argv);
  app.InitInstance();
  return 0;
}
