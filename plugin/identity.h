// Who the plug-in says it is.
#ifndef KELVO_PLUGIN_IDENTITY_H
#define KELVO_PLUGIN_IDENTITY_H

#include <cstdint>

// The host's code for a keypad input plug-in.
constexpr int32_t KELVO_PLUGIN_TYPE = 4;

// Copied with its NUL: 19 bytes.
constexpr char KELVO_DISPLAY_NAME[] = "Kelvo plugin 1.6.1";
static_assert(sizeof(KELVO_DISPLAY_NAME) == 19, "display name is 18 characters and a NUL");

// In memory order: the little-endian words 0x8229CDC4 0x45CF89AB 0xB83F01BA 0xE917D97A.
constexpr uint8_t PLUGGUID[16] = {0xC4, 0xCD, 0x29, 0x82, 0xAB, 0x89, 0xCF, 0x45,
                                  0xBA, 0x01, 0x3F, 0xB8, 0x7A, 0xD9, 0x17, 0xE9};

#endif
