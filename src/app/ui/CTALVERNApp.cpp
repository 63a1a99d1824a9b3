#include "app/ui/CTALVERNApp.h"

#include <clocale>

#include "app/ui/CMainFrame.h"
#include "app/ui/CTALVERNView.h"
#include "workspace/workspace.h"

namespace talvern {

CTALVERNApp::CTALVERNApp(int& argc, char** argv) : QApplication(argc, argv) {
  // Qt takes over the user's locale; numbers in files and edit boxes always
  // use a decimal point.
  std::setlocale(LC_NUMERIC, "C");
  setApplicationName("TALVERN");
  setApplicationVersion(TALVERN_VERSION);
}

int CTALVERNApp::run() {
  CMainFrame frame(WorkSpace::locate());
  frame.view()->startUp();
  frame.show();
  return exec();
}

}  // namespace talvern
