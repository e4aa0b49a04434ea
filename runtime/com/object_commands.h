// The object and variant commands: COM automation objects created by class
// name and driven by member name, and raw automation values held in variant
// blocks. All take the uniform command signature; none raises a runtime
// error: failures give false or an empty value and set the last object-call
// status of the calling thread.
#pragma once

#include "runtime/core/values.h"

#include <cstdint>

// ---- objects ---------------------------------------------------------------
// (object variable, class text, [type library file]) -> bool
void CreateObject(CommandResult* result, int32_t argc, ArgRecord* args);
// (object variable) -> none
void ClearObject(CommandResult* result, int32_t argc, ArgRecord* args);
// (destination holder, source holder) -> none
void CopyObject(CommandResult* result, int32_t argc, ArgRecord* args);
// (object) -> bool, true when the holder has no interface
void IsObjectEmpty(CommandResult* result, int32_t argc, ArgRecord* args);

// ---- members: (object, member name, the member's own arguments...) --------
void ReadPropertyText(CommandResult* result, int32_t argc, ArgRecord* args);   // -> Text
void ReadPropertyNumber(CommandResult* result, int32_t argc, ArgRecord* args); // -> double
void ReadPropertyObject(CommandResult* result, int32_t argc, ArgRecord* args); // -> object
void ReadProperty(CommandResult* result, int32_t argc, ArgRecord* args);       // -> variant
void CallMethod(CommandResult* result, int32_t argc, ArgRecord* args);         // -> none
void CallMethodText(CommandResult* result, int32_t argc, ArgRecord* args);     // -> Text
void CallMethodNumber(CommandResult* result, int32_t argc, ArgRecord* args);   // -> double
void CallMethodObject(CommandResult* result, int32_t argc, ArgRecord* args);   // -> object
// (object, name, value [, index arguments...]) -> bool: the call succeeded
void WriteProperty(CommandResult* result, int32_t argc, ArgRecord* args);

// ---- variants ----------------------------------------------------------------
// (destination block, source block) -> none
void CopyVariant(CommandResult* result, int32_t argc, ArgRecord* args);
// (variant block) -> none
void ClearVariant(CommandResult* result, int32_t argc, ArgRecord* args);
// (variant, [element index]) -> Text
void VariantToText(CommandResult* result, int32_t argc, ArgRecord* args);
// (variant block, value, [element index]) -> bool
void SetVariant(CommandResult* result, int32_t argc, ArgRecord* args);

// ---- last object-call status -----------------------------------------------------
// Set by every member call of the thread: 0 for success, else one of these.
enum ObjectCallStatus : int32_t {
    kCallOk = 0,
    kCallEmptyHolder = -1,
    kCallNoDispatch = -2,
    kCallNoMember = -3,
    kCallNoTypeInfo = -4,
    kCallTooManyArguments = -5,
    kCallBadArgumentType = -7,
    kCallBadResultType = -8,
    kCallBadParamCount = -9,     // DISP_E_BADPARAMCOUNT
    kCallBadVarType = -10,       // DISP_E_BADVARTYPE
    kCallException = -11,        // DISP_E_EXCEPTION
    kCallMemberNotFound = -12,   // DISP_E_MEMBERNOTFOUND
    kCallNoNamedArgs = -13,      // DISP_E_NONAMEDARGS
    kCallOverflow = -14,         // DISP_E_OVERFLOW
    kCallParamNotFound = -15,    // DISP_E_PARAMNOTFOUND
    kCallTypeMismatch = -16,     // DISP_E_TYPEMISMATCH
    kCallParamNotOptional = -17, // DISP_E_PARAMNOTOPTIONAL
    kCallInvokeFailed = -18,     // any other failure of Invoke
};
int32_t LastObjectCallStatus();

// ---- by name -----------------------------------------------------------------------
struct NamedObjectCommand {
    const char* name;
    CommandFn command;
};
// The seventeen commands above with their names, in the order declared here.
const NamedObjectCommand* ObjectCommandTable(int32_t* count);
// The command of that name, or null.
CommandFn FindObjectCommand(const char* name);
