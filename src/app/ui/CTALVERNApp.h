#pragma once
// The application: builds the main window and runs the event loop.

#include <QApplication>

namespace talvern {

class CTALVERNApp : public QApplication {
  Q_OBJECT
 public:
  CTALVERNApp(int& argc, char** argv);

  // Builds the main frame on the located work-space, shows it
  // and runs the event loop until the window is closed.
  int run();
};

}  // namespace talvern
