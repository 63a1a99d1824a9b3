#include "app/ui/CTALVERNApp.h"

int main(int argc, char** argv) {
  CTALVERNApp app(argc, argv);
  return app.run();
}
