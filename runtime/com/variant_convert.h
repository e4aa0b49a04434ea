// Runtime values to and from automation values, and element addressing in
// safe arrays. Shared by the member calls and the variant commands.
#pragma once

#include "runtime/core/values.h"

#include <oaidl.h>

#include <cstdint>
#include <vector>

// A runtime value in its plain three-word form: an argument passed by
// reference is read through the caller's variable, and the array flag is
// dropped from the type.
ArgRecord ReadThroughReference(const ArgRecord& arg);

// The text a TYPE_TEXT argument carries, by value or through the caller's
// variable; null for an empty text or an argument of another type.
const char* TextOfArg(const ArgRecord& arg);

// The automation type a runtime type maps to (objects as VT_UNKNOWN); VT_EMPTY
// for types that have none. TYPE_VARIANT maps to VT_VARIANT.
VARTYPE AutomationTypeOf(ValueType type);

// Converts a plain runtime value (see ReadThroughReference) into `out`, which
// the caller owns afterwards. `declared` is the parameter's declared type and
// only decides how an object travels: VT_UNKNOWN adds a reference, VT_DISPATCH
// queries for IDispatch, VT_VARIANT passes the dispatch interface when there
// is one (else the plain interface); any other declared type gets a null
// VT_UNKNOWN. Returns false for a type that cannot be passed.
bool ValueToVariant(const ArgRecord& value, VARTYPE declared, VARIANT* out);

// Result conversion: a new runtime value of `target` from `source`, placed
// in `out` (value words only; the caller sets the type word). Objects become a
// new holder with a reference added, texts a new Text (empty -> null), longs
// are sign-extended from 32 bits and bools come back as 0 or 1. False (and
// `out` untouched) when the value cannot be converted.
bool VariantToValue(const VARIANT* source, ValueType target, ArgRecord* out);

// The empty value of `target` that a failed call yields: a new empty holder,
// a new zeroed variant block, or zero words.
void EmptyValue(ValueType target, ArgRecord* out);

// Writes an automation value back into the caller's variable at `address`,
// which holds a value of `type` (a text's old block is freed, an object
// variable's holder is reused, a variant block is cleared and receives a
// copy). False, and the variable unchanged, when it cannot be converted.
bool WriteBackVariable(void* address, ValueType type, const VARIANT* value);

// The safe array a variant holds, directly or by reference; null otherwise.
SAFEARRAY* ArrayOfVariant(const VARIANT* value);

// Turns a 1-based flat element index into one index per dimension, counting
// the first dimension fastest from each lower bound. False for an index below
// 1 or beyond the element count.
bool ResolveFlatIndex(SAFEARRAY* array, int64_t flatIndex, std::vector<LONG>* indices);
