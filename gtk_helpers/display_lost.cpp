#include "gtk_helpers/display_lost.h"

#include <X11/Xlib.h>
#include <unistd.h>

namespace {

void (*displayLostCleanUp)() = nullptr;

int DisplayLost(Display*) {
  if (displayLostCleanUp != nullptr) displayLostCleanUp();
  _exit(0);  // Xlib ends the process anyway when this returns
}

}  // namespace

void OnDisplayLost(void (*cleanUp)()) {
  displayLostCleanUp = cleanUp;
  XSetIOErrorHandler(DisplayLost);
}
