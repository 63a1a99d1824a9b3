#include "app/ui/CTALVERNApp.h"

#include "app/ui/CMainFrame.h"
#include "workspace/workspace.h"

CTALVERNApp::CTALVERNApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName("TALVERN");
  setApplicationVersion("2.0");
}

int CTALVERNApp::run() {
  CMainFrame frame(talvern::WorkSpace::locate());
  frame.show();
  return exec();
}
