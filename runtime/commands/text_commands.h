// Text commands of the core support library. Texts are GBK; positions and
// lengths count bytes and are 1-based; a failed search gives -1. Every command
// takes (result, argument count, arguments) and borrows its arguments; a
// returned Text or array is new and belongs to the caller.
#pragma once

#include "runtime/core/values.h"

#include <cstdint>

// text -> int: byte length.
void TextLength(CommandResult* result, int32_t argc, ArgRecord* args);
// text, sought, [start position], [ignore-case flag: only the value 1 ignores case] -> int
void FindText(CommandResult* result, int32_t argc, ArgRecord* args);
void FindTextReverse(CommandResult* result, int32_t argc, ArgRecord* args);
// text, n -> Text
void LeftText(CommandResult* result, int32_t argc, ArgRecord* args);
void RightText(CommandResult* result, int32_t argc, ArgRecord* args);
// text, start position, n -> Text
void MidText(CommandResult* result, int32_t argc, ArgRecord* args);
// character code -> one-byte Text
void Character(CommandResult* result, int32_t argc, ArgRecord* args);
// text, sought, [replacement], [start position], [count; negative = all], case-sensitive flag -> Text
void ReplaceText(CommandResult* result, int32_t argc, ArgRecord* args);
// text, [separator, default ","], [maximum part count] -> array of Text
void SplitText(CommandResult* result, int32_t argc, ArgRecord* args);
// text -> Text without leading/trailing (or any) spaces: 0x20 and the full-width 0xA1 0xA1.
void TrimBoth(CommandResult* result, int32_t argc, ArgRecord* args);
void RemoveAllSpaces(CommandResult* result, int32_t argc, ArgRecord* args);
// text -> Text with ASCII letters changed; double-byte characters untouched.
void ToUpper(CommandResult* result, int32_t argc, ArgRecord* args);
void ToLower(CommandResult* result, int32_t argc, ArgRecord* args);
// n -> Text of n spaces
void SpaceText(CommandResult* result, int32_t argc, ArgRecord* args);
// n, text -> Text repeated n times
void RepeatText(CommandResult* result, int32_t argc, ArgRecord* args);
// text 1, text 2, case-sensitive flag -> -1, 0 or 1
void CompareTextCase(CommandResult* result, int32_t argc, ArgRecord* args);
