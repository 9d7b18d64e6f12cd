#include "plugin/kelvo_class.h"

// The settings page is not built yet: the host's notebook is left as it is.
int32_t KelvoClass::SetProperty(SETPROPPLUGIN*) { return 0; }
