// The records the host hands to the entry points. The host owns them; the
// plug-in touches only the named fields and leaves every other byte alone.
// The offsets below are the host's 32-bit build; a 64-bit build keeps the
// field order, its pointers and the pad word growing to 8 bytes.
#ifndef KELVO_PLUGIN_HOST_RECORDS_H
#define KELVO_PLUGIN_HOST_RECORDS_H

#include <cstddef>
#include <cstdint>

typedef struct _GtkNotebook GtkNotebook;

struct _get_pluginfo {
  uint32_t hostField0;
  int32_t type;
  uint32_t hostField8;
  char* name;
  uint32_t hostField16;
  uint8_t guid[16];
};

struct _set_pluginfo {
  uint32_t hostFields0[2];
  uint32_t stateMask;
  uint32_t state;
};

struct SETPROPPLUGIN {
  GtkNotebook* notebook;
};

static_assert(offsetof(_set_pluginfo, stateMask) == 8, "stateMask offset");
static_assert(offsetof(_set_pluginfo, state) == 12, "state offset");
static_assert(offsetof(SETPROPPLUGIN, notebook) == 0, "notebook offset");
static_assert(offsetof(_get_pluginfo, type) == 4, "type offset");

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(_get_pluginfo, name) == 12, "name offset (32-bit)");
static_assert(offsetof(_get_pluginfo, guid) == 20, "guid offset (32-bit)");
static_assert(sizeof(unsigned long) == 4, "pad word is one 32-bit word");
#else
static_assert(offsetof(_get_pluginfo, name) == 16, "name offset (64-bit)");
static_assert(offsetof(_get_pluginfo, guid) == 28, "guid offset (64-bit)");
#endif

#endif
