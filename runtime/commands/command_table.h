// The library commands by name: every text, conversion, byte-set, time and
// system command of the core support library, as the program names them.
// The per-family headers declare each command for direct use.
#pragma once

#include "runtime/core/values.h"

#include <cstdint>
#include <string_view>

struct CommandEntry {
    const char* name;
    CommandFn command;
};

// The command of that name (case-sensitive), or null.
CommandFn FindCommand(std::string_view name);

// All entries, in table order.
const CommandEntry* CommandTable(uint32_t* count);
