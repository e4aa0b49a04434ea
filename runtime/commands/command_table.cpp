#include "runtime/commands/command_table.h"

#include "runtime/commands/byteset_commands.h"
#include "runtime/commands/conversion_commands.h"
#include "runtime/commands/system_commands.h"
#include "runtime/commands/text_commands.h"
#include "runtime/commands/time_commands.h"

namespace {

const CommandEntry kCommands[] = {
    // text
    {"TextLength", TextLength},
    {"FindText", FindText},
    {"FindTextReverse", FindTextReverse},
    {"LeftText", LeftText},
    {"RightText", RightText},
    {"MidText", MidText},
    {"Character", Character},
    {"ReplaceText", ReplaceText},
    {"SplitText", SplitText},
    {"TrimBoth", TrimBoth},
    {"RemoveAllSpaces", RemoveAllSpaces},
    {"ToUpper", ToUpper},
    {"ToLower", ToLower},
    {"SpaceText", SpaceText},
    {"RepeatText", RepeatText},
    {"CompareTextCase", CompareTextCase},
    // conversion
    {"ToText", ToText},
    {"ToInt", ToInt},
    {"ToDateTime", ToDateTime},
    {"ToByteSet", ToByteSet},
    {"BitOr", BitOr},
    // byte set
    {"ByteSetLength", ByteSetLength},
    {"LeftBytes", LeftBytes},
    {"ReplaceBytes", ReplaceBytes},
    {"NewByteSet", NewByteSet},
    {"ReadFromByteSet", ReadFromByteSet},
    {"PointerToByteSet", PointerToByteSet},
    // time and system
    {"Now", Now},
    {"TimeDifference", TimeDifference},
    {"ShowMessageBox", ShowMessageBox},
    {"ProcessEvents", ProcessEvents},
};

}  // namespace

CommandFn FindCommand(std::string_view name)
{
    for (const CommandEntry& e : kCommands) {
        if (name == e.name) return e.command;
    }
    return nullptr;
}

const CommandEntry* CommandTable(uint32_t* count)
{
    *count = static_cast<uint32_t>(sizeof kCommands / sizeof kCommands[0]);
    return kCommands;
}
