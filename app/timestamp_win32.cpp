// The broken-down time through the platform's VariantTimeToSystemTime, which
// the program declares as DLL command 0 ("oleaut32.dll") and binds by name on
// the first call. Its result code is not checked: on failure the record keeps
// what it held (zeros).
#include "app/timestamp.h"

#include "runtime/core/dll_commands.h"

#include <cstring>

namespace {

constexpr int32_t kVariantTimeToSystemTimeDeclaration = 0;

}  // namespace

void DateTimeToSystemTimeFields(double time, uint16_t fields[8])
{
    uint16_t record[8];
    std::memcpy(record, fields, sizeof record);
    DllCall<int32_t>(kVariantTimeToSystemTimeDeclaration, time, static_cast<void*>(record));
    std::memcpy(fields, record, sizeof record);
}
