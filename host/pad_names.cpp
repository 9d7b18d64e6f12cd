#include "host/pad_names.h"

#include <cstdio>

const PadBit kPadBits[12] = {
    {"A", 0x1},     {"B", 0x2},     {"Select", 0x4}, {"Start", 0x8}, {"L", 0x200},   {"R", 0x100},
    {"X", 0x10000}, {"Y", 0x20000}, {"Up", 0x40},    {"Down", 0x80}, {"Left", 0x20}, {"Right", 0x10},
};

std::string DescribePadWord(unsigned long word) {
  char hex[32];
  std::snprintf(hex, sizeof(hex), "0x%05lX", word & 0x3FFFFul);
  std::string text = hex;
  text += " held:";
  bool any = false;
  for (const PadBit& b : kPadBits) {
    if ((word & b.bit) == 0) {
      text += ' ';
      text += b.name;
      any = true;
    }
  }
  if (!any) text += " none";
  return text;
}
