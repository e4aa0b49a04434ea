// Object holders and variant blocks: how COM objects and raw automation
// values live in program variables.
//
// A TYPE_OBJECT value points to an ObjectHolder on the RuntimeHeap; the holder
// owns one reference on its interface. A TYPE_VARIANT value points to a
// 16-byte automation VARIANT on the RuntimeHeap; a zeroed block is an empty
// variant. Neither needs <windows.h> to be named, so application code can keep
// them in its records without pulling in the platform headers.
#pragma once

#include "runtime/core/values.h"

#include <cstdint>

struct ObjectHolder {
    void* object;  // owned reference (IUnknown*), null when empty
    uintptr_t aux; // never set by the object commands; freed by ClearObjectHolder
};

constexpr uint32_t kVariantBlockSize = 16;

// A new empty holder on the RuntimeHeap.
ObjectHolder* NewObjectHolder();
// Releases the holder's interface (ClearObject) and frees the holder. Null is
// allowed.
void FreeObjectHolder(ObjectHolder* holder);
// ClearObject on a holder: releases its interface; null is allowed.
void ClearObjectHolder(ObjectHolder* holder);

// A new zeroed (empty) variant block on the RuntimeHeap.
void* NewVariantBlock();
// Clears the variant's contents and frees the block. Null is allowed.
void FreeVariantBlock(void* block);

// The holder or variant block an argument refers to: the pointer itself, or,
// when the argument carries the by-reference flag, the pointer held by the
// caller's variable. Null when there is none.
ObjectHolder* HolderOfArg(const ArgRecord& arg);
void* VariantOfArg(const ArgRecord& arg);

// As above, but when the argument is the caller's variable (by reference) and
// the variable holds no block yet, a new empty one is made and stored in it.
ObjectHolder* HolderOfVariable(const ArgRecord& arg);
void* VariantOfVariable(const ArgRecord& arg);
