// The conversion the script engine's result goes through (code page 936, no
// flags), so that both readings of a reply give the same characters.
#include "app/text/script_literal.h"

#include "runtime/core/gbk_wide.h"

std::string ScriptUnitsToGbk(const std::u16string& units)
{
    return WideToGbk(std::wstring_view(reinterpret_cast<const wchar_t*>(units.data()), units.size()));
}
