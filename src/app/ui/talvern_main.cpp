#include "app/ui/CTALVERNApp.h"

int main(int argc, char** argv) {
  talvern::CTALVERNApp app(argc, argv);
  return app.run();
}
