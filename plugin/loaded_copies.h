#ifndef KELVO_PLUGIN_LOADED_COPIES_H
#define KELVO_PLUGIN_LOADED_COPIES_H

// Whether another copy of this library (the same soname, loaded from
// another file) was loaded into the process before this one. Two copies
// would share SDL's joysticks without sharing a lock or a watch, so the
// later one stays off.
bool AnotherCopyLoadedFirst();

#endif
