#include "runtime/com/automation_text.h"
#include "runtime/com/object_commands.h"
#include "runtime/com/object_holder.h"
#include "runtime/com/variant_convert.h"
#include "runtime/core/heap.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace {

// The element index argument: present, and its value as an integer.
bool ElementIndexOf(int32_t argc, ArgRecord* args, int32_t position, int64_t* index) {
    if (argc <= position || IsOmitted(args[position]))
        return false;
    ArgRecord plain = ReadThroughReference(args[position]);
    switch (plain.type) {
    case TYPE_BYTE:
    case TYPE_SHORT:
    case TYPE_INT:
        *index = ArgInt(plain);
        return true;
    case TYPE_LONG:
        *index = ArgLong(plain);
        return true;
    case TYPE_FLOAT:
        *index = static_cast<int64_t>(ArgFloat(plain));
        return true;
    case TYPE_DOUBLE:
        *index = static_cast<int64_t>(ArgDouble(plain));
        return true;
    default:
        *index = 0;
        return true; // given, but not a number: resolves to nothing
    }
}

// Fetches one element of a safe array as a variant of the array's element type.
bool FetchElement(SAFEARRAY* array, const std::vector<LONG>& indices, VARIANT* out) {
    VARTYPE type = VT_EMPTY;
    if (FAILED(SafeArrayGetVartype(array, &type)))
        return false;
    VariantInit(out);
    switch (type) {
    case VT_VARIANT:
        return SUCCEEDED(SafeArrayGetElement(array, const_cast<LONG*>(indices.data()), out));
    case VT_DECIMAL:
        if (FAILED(SafeArrayGetElement(array, const_cast<LONG*>(indices.data()), &V_DECIMAL(out))))
            return false;
        V_VT(out) = VT_DECIMAL;
        return true;
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BOOL:
    case VT_ERROR:
    case VT_BSTR:
    case VT_UNKNOWN:
    case VT_DISPATCH:
        if (FAILED(SafeArrayGetElement(array, const_cast<LONG*>(indices.data()), &V_UI1(out))))
            return false;
        V_VT(out) = type;
        return true;
    default:
        return false;
    }
}

Text VariantTextOf(const VARIANT* source, bool hasIndex, int64_t index) {
    if (!source)
        return nullptr;
    SAFEARRAY* array = ArrayOfVariant(source);
    ScopedVariant changed;
    if (!array) {
        if (V_VT(source) == VT_BSTR)
            return BstrToText(V_BSTR(source));
        ScopedVariant direct;
        if (FAILED(VariantCopyInd(direct.Get(), const_cast<VARIANT*>(source))))
            return nullptr;
        if (FAILED(VariantChangeType(changed.Get(), direct.Get(), 0, VT_BSTR)))
            return nullptr;
        return BstrToText(V_BSTR(changed.Get()));
    }
    if (!hasIndex)
        return nullptr;
    std::vector<LONG> indices;
    if (!ResolveFlatIndex(array, index, &indices))
        return nullptr;
    ScopedVariant element;
    if (!FetchElement(array, indices, element.Get()))
        return nullptr;
    if (FAILED(VariantChangeType(changed.Get(), element.Get(), 0, VT_BSTR)))
        return nullptr;
    return BstrToText(V_BSTR(changed.Get()));
}

// The safe-array element type of a runtime array's base type.
VARTYPE ArrayElementTypeOf(ValueType type) {
    switch (BaseType(type)) {
    case TYPE_BYTE:
        return VT_UI1;
    case TYPE_SHORT:
        return VT_I2;
    case TYPE_INT:
    case TYPE_LONG:
        return VT_I4;
    case TYPE_FLOAT:
        return VT_R4;
    case TYPE_DOUBLE:
        return VT_R8;
    case TYPE_BOOL:
        return VT_BOOL;
    case TYPE_DATETIME:
        return VT_DATE;
    case TYPE_TEXT:
        return VT_BSTR;
    case TYPE_OBJECT:
        return VT_UNKNOWN;
    case TYPE_VARIANT:
        return VT_VARIANT;
    default:
        return VT_EMPTY;
    }
}

template <typename T> T Load(const uint8_t* p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// Fills element i of a one-dimensional safe array (already locked for access)
// from the runtime array element at `source`.
bool StoreArrayElement(SAFEARRAY* array, VARTYPE type, LONG i, ValueType baseType, const uint8_t* source) {
    switch (type) {
    case VT_UI1:
        static_cast<BYTE*>(array->pvData)[i] = *source;
        return true;
    case VT_I2:
        static_cast<SHORT*>(array->pvData)[i] = Load<int16_t>(source);
        return true;
    case VT_I4:
        // A long keeps its low 32 bits, which on little-endian come first.
        static_cast<LONG*>(array->pvData)[i] = Load<int32_t>(source);
        return true;
    case VT_R4:
        static_cast<FLOAT*>(array->pvData)[i] = Load<float>(source);
        return true;
    case VT_R8:
    case VT_DATE:
        static_cast<DOUBLE*>(array->pvData)[i] = Load<double>(source);
        return true;
    case VT_BOOL:
        static_cast<VARIANT_BOOL*>(array->pvData)[i] = Load<int32_t>(source) ? VARIANT_TRUE : VARIANT_FALSE;
        return true;
    case VT_BSTR: {
        BSTR text = GbkToBstr(Load<const char*>(source));
        if (!text)
            return false;
        static_cast<BSTR*>(array->pvData)[i] = text;
        return true;
    }
    case VT_UNKNOWN: {
        auto* holder = Load<ObjectHolder*>(source);
        auto* object = holder ? static_cast<IUnknown*>(holder->object) : nullptr;
        if (object)
            object->AddRef();
        static_cast<IUnknown**>(array->pvData)[i] = object;
        return true;
    }
    case VT_VARIANT: {
        auto* block = Load<VARIANT*>(source);
        if (!block)
            return true; // the element stays empty
        return SUCCEEDED(VariantCopy(&static_cast<VARIANT*>(array->pvData)[i], block));
    }
    default:
        return false;
    }
}

// A byte set or runtime array as a one-dimensional safe array (lower bound 0)
// in `out`; false for element types that have no automation form.
bool ArrayToVariant(const ArgRecord& value, VARIANT* out) {
    VariantInit(out);
    ValueType base = BaseType(value.type);
    const void* block = value.ptr;
    VARTYPE elementType = base == TYPE_BYTESET ? static_cast<VARTYPE>(VT_UI1) : ArrayElementTypeOf(base);
    if (elementType == VT_EMPTY)
        return false;
    uint32_t count = base == TYPE_BYTESET ? ByteSetLength(block) : ArrayElementTotal(block);
    if (count > 0x7FFFFFFFu)
        return false;
    SAFEARRAY* array = SafeArrayCreateVector(elementType, 0, count);
    if (!array)
        return false;
    if (count > 0) {
        if (FAILED(SafeArrayLock(array))) {
            SafeArrayDestroy(array);
            return false;
        }
        bool stored = true;
        if (base == TYPE_BYTESET) {
            std::memcpy(array->pvData, ByteSetData(block), count);
        } else {
            const uint8_t* elements = ArrayElementData(block);
            uint32_t size = ElementSize(base);
            for (uint32_t i = 0; i < count && stored; ++i) {
                stored = StoreArrayElement(array, elementType, static_cast<LONG>(i), base, elements + size * i);
            }
        }
        SafeArrayUnlock(array);
        if (!stored) {
            SafeArrayDestroy(array);
            return false;
        }
    }
    V_VT(out) = static_cast<VARTYPE>(VT_ARRAY | elementType);
    V_ARRAY(out) = array;
    return true;
}

bool IsArrayValue(const ArgRecord& value) {
    return BaseType(value.type) == TYPE_BYTESET || HasArrayFlag(value.type);
}

// The value to store as an automation value: arrays and byte sets as safe
// arrays, single values by the mapping table (objects as IUnknown).
bool StoredForm(const ArgRecord& value, VARIANT* out) {
    if (IsArrayValue(value))
        return ArrayToVariant(value, out);
    return ValueToVariant(value, VT_UNKNOWN, out);
}

bool PutIntoElement(VARIANT* target, const ArgRecord& value, int64_t index) {
    SAFEARRAY* array = ArrayOfVariant(target);
    if (!array)
        return false;
    VARTYPE elementType = VT_EMPTY;
    if (FAILED(SafeArrayGetVartype(array, &elementType)))
        return false;
    if (IsArrayValue(value) && elementType != VT_VARIANT)
        return false;
    std::vector<LONG> indices;
    if (!ResolveFlatIndex(array, index, &indices))
        return false;

    ScopedVariant converted;
    if (!StoredForm(value, converted.Get()))
        return false;
    if (elementType == VT_VARIANT) {
        return SUCCEEDED(SafeArrayPutElement(array, indices.data(), converted.Get()));
    }
    switch (elementType) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BOOL:
    case VT_DECIMAL:
    case VT_BSTR:
    case VT_UNKNOWN:
    case VT_DISPATCH:
        break;
    default:
        return false;
    }
    ScopedVariant changed;
    if (FAILED(VariantChangeType(changed.Get(), converted.Get(), 0, elementType)))
        return false;
    VARIANT* v = changed.Get();
    void* element = &V_UI1(v);
    if (elementType == VT_BSTR)
        element = V_BSTR(v); // PutElement copies the string itself
    else if (elementType == VT_UNKNOWN || elementType == VT_DISPATCH)
        element = V_UNKNOWN(v);
    else if (elementType == VT_DECIMAL)
        element = &V_DECIMAL(v);
    return SUCCEEDED(SafeArrayPutElement(array, indices.data(), element));
}

bool SetVariantImpl(int32_t argc, ArgRecord* args) {
    if (argc < 2)
        return false;
    auto* target = static_cast<VARIANT*>(VariantOfVariable(args[0]));
    if (!target)
        return false;
    int64_t index = 0;
    if (ElementIndexOf(argc, args, 2, &index))
        return PutIntoElement(target, args[1], index);

    VariantClear(target);
    std::memset(target, 0, sizeof(VARIANT));
    // An array travels as its block; any other value may come through its
    // variable.
    ArgRecord value = IsArrayValue(args[1]) ? args[1] : ReadThroughReference(args[1]);
    ScopedVariant converted;
    if (!StoredForm(value, converted.Get()))
        return false;
    std::memcpy(target, converted.Get(), sizeof(VARIANT));
    VariantInit(converted.Get());
    return true;
}

} // namespace

void CopyVariant(CommandResult* result, int32_t argc, ArgRecord* args) {
    if (argc < 2)
        return;
    auto* destination = static_cast<VARIANT*>(VariantOfVariable(args[0]));
    auto* source = static_cast<VARIANT*>(VariantOfArg(args[1]));
    if (!destination)
        return;
    // Program code copies into a fresh block: what it held is not ours.
    std::memset(destination, 0, sizeof(VARIANT));
    if (source)
        VariantCopy(destination, source);
}

void ClearVariant(CommandResult* result, int32_t argc, ArgRecord* args) {
    auto* block = argc >= 1 ? static_cast<VARIANT*>(VariantOfArg(args[0])) : nullptr;
    if (!block)
        return;
    VariantClear(block);
    std::memset(block, 0, sizeof(VARIANT));
}

void VariantToText(CommandResult* result, int32_t argc, ArgRecord* args) {
    Text text = nullptr;
    try {
        auto* source = argc >= 1 ? static_cast<const VARIANT*>(VariantOfArg(args[0])) : nullptr;
        int64_t index = 0;
        bool hasIndex = ElementIndexOf(argc, args, 1, &index);
        text = VariantTextOf(source, hasIndex, index);
    } catch (...) {
        text = nullptr;
    }
    SetPointer(*result, text);
}

void SetVariant(CommandResult* result, int32_t argc, ArgRecord* args) {
    bool stored = false;
    try {
        stored = SetVariantImpl(argc, args);
    } catch (...) {
        stored = false;
    }
    SetBool(*result, stored);
}
