#include "plugin/kelvo_class.h"

#include <cstring>

#include "plugin/identity.h"

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
  // Pages on screen show the reloaded key map at their next tick.
  if ((info->stateMask & 1u) && (info->state & 1u)) return Init();
  return 1;
}
