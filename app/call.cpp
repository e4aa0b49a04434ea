#include "app/call.h"

#include "runtime/core/runtime_error.h"

namespace {

// The program's static empty values. Commands only read them; they are never
// handed to the heap (a command copies before it returns anything).
const char kEmptyText[1] = {'\0'};
alignas(4) const uint8_t kEmptyByteSet[8] = {1, 0, 0, 0, 0, 0, 0, 0};

constexpr int32_t kTypeMismatchError = 5;

}  // namespace

const char* EmptyTextConstant() { return kEmptyText; }
const uint8_t* EmptyByteSetConstant() { return kEmptyByteSet; }

void ExpectResultType(const CommandResult& result, ValueType expected)
{
    // A fixed-type command leaves the type word 0; only a command whose result
    // type depends on its arguments sets it.
    if (result.type != TYPE_NONE && result.type != expected) ReportRuntimeError(kTypeMismatchError);
}
