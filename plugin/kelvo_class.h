// The plug-in's one class. It holds no state: the key map and the joystick
// handle are module variables (input/key_map.h), so the instance is only the
// place the entry points forward to.
#ifndef KELVO_PLUGIN_KELVO_CLASS_H
#define KELVO_PLUGIN_KELVO_CLASS_H

#include <cstdint>

#include "plugin/host_records.h"

class KelvoClass {
 public:
  int32_t GetInfo(_get_pluginfo* info);
  int32_t SetInfo(_set_pluginfo* info);
  int32_t Init();
  int32_t Run(unsigned long* padWord);
  void MakeCfgFileName(char* buffer);
  void LoadConf();
  void SaveConf();
  int32_t SetProperty(SETPROPPLUGIN* prop);
};

extern KelvoClass Kelvo;

// Whether another copy of this library (the same soname from another file)
// was loaded first: the later copy stays off, as two would share SDL's
// joysticks without sharing a lock or a watch.
bool AnotherCopyLoadedFirst();

#endif
