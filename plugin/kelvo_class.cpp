#include "plugin/kelvo_class.h"

#include <cstring>

#include "plugin/identity.h"
#include "ui/settings_page.h"

KelvoClass Kelvo;

int32_t KelvoClass::GetInfo(_get_pluginfo* info) {
  if (info == nullptr) return 0;
  info->type = KELVO_PLUGIN_TYPE;
  if (info->name != nullptr) {
    std::memcpy(info->name, KELVO_DISPLAY_NAME, sizeof(KELVO_DISPLAY_NAME));
  }
  std::memcpy(info->guid, PLUGGUID, sizeof(PLUGGUID));
  return 1;
}

int32_t KelvoClass::SetInfo(_set_pluginfo* info) {
  if (info == nullptr) return 0;
  // Clearing the enable bit stops nothing: the joystick stays open.
  if ((info->stateMask & 1u) && (info->state & 1u)) {
    const int32_t result = Init();
    // Switching on reloads Kelvo.ini: pages left open show the map now in force.
    RefreshOpenPages();
    return result;
  }
  return 1;
}
