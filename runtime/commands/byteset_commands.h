// Byte-set commands of the core support library. A ByteSet is the array
// block {1, length, bytes}; null is the empty byte set.
#pragma once

#include "runtime/core/values.h"

#include <cstdint>

// byte set -> int
void ByteSetLength(CommandResult* result, int32_t argc, ArgRecord* args);
// byte set, n -> ByteSet of the first n bytes
void LeftBytes(CommandResult* result, int32_t argc, ArgRecord* args);
// byte set, sought, [replacement], [start position], [count; negative = none] -> ByteSet
void ReplaceBytes(CommandResult* result, int32_t argc, ArgRecord* args);
// n -> ByteSet of n zero bytes
void NewByteSet(CommandResult* result, int32_t argc, ArgRecord* args);
// byte set, type number 1-10, [position, by value or by reference] -> value; sets the type word
void ReadFromByteSet(CommandResult* result, int32_t argc, ArgRecord* args);
// memory address, n -> ByteSet copy of n bytes
void PointerToByteSet(CommandResult* result, int32_t argc, ArgRecord* args);
