#ifndef KELVO_HOST_PAD_NAMES_H
#define KELVO_HOST_PAD_NAMES_H

#include <string>

struct PadBit {
  const char* name;
  unsigned long bit;
};

// The twelve keys and directions of the pad word, in the order shown.
extern const PadBit kPadBits[12];

// "0x3FFFF held: A Up" style text: the word in hex and what is held (bit clear).
std::string DescribePadWord(unsigned long word);

#endif
