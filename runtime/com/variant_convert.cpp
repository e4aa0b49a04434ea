#include "runtime/com/variant_convert.h"

#include "runtime/com/automation_text.h"
#include "runtime/com/object_holder.h"
#include "runtime/core/heap.h"

#include <cstring>

namespace {

template <typename T> T ReadAt(const void* address) {
    T value;
    std::memcpy(&value, address, sizeof value);
    return value;
}

template <typename T> void WriteAt(void* address, T value) {
    std::memcpy(address, &value, sizeof value);
}

IUnknown* ObjectOf(const ArgRecord& value) {
    auto* holder = static_cast<ObjectHolder*>(value.ptr);
    return holder ? static_cast<IUnknown*>(holder->object) : nullptr;
}

void SetNullUnknown(VARIANT* out) {
    V_VT(out) = VT_UNKNOWN;
    V_UNKNOWN(out) = nullptr;
}

} // namespace

ArgRecord ReadThroughReference(const ArgRecord& arg) {
    ArgRecord plain{};
    plain.type = BaseType(arg.type);
    if (!HasArrayFlag(arg.type)) {
        plain.low = arg.low; // the pointer of a pointer-typed value overlays these
        plain.high = arg.high;
        return plain;
    }
    const void* address = arg.ptr;
    if (!address)
        return plain;
    switch (plain.type) {
    case TYPE_BYTE:
        SetInt(plain, ReadAt<uint8_t>(address));
        break;
    case TYPE_SHORT:
        SetInt(plain, ReadAt<int16_t>(address));
        break;
    case TYPE_INT:
    case TYPE_BOOL:
        SetInt(plain, ReadAt<int32_t>(address));
        break;
    case TYPE_FLOAT:
        SetFloat(plain, ReadAt<float>(address));
        break;
    case TYPE_LONG:
        SetLong(plain, ReadAt<int64_t>(address));
        break;
    case TYPE_DOUBLE:
    case TYPE_DATETIME:
        SetDouble(plain, ReadAt<double>(address));
        break;
    default:
        SetPointer(plain, ReadAt<void*>(address));
        break;
    }
    return plain;
}

const char* TextOfArg(const ArgRecord& arg) {
    if (BaseType(arg.type) != TYPE_TEXT)
        return nullptr;
    return static_cast<const char*>(ReadThroughReference(arg).ptr);
}

VARTYPE AutomationTypeOf(ValueType type) {
    switch (BaseType(type)) {
    case TYPE_BOOL:
        return VT_BOOL;
    case TYPE_DATETIME:
        return VT_DATE;
    case TYPE_TEXT:
        return VT_BSTR;
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
    case TYPE_OBJECT:
        return VT_UNKNOWN;
    case TYPE_VARIANT:
        return VT_VARIANT;
    default:
        return VT_EMPTY;
    }
}

bool ValueToVariant(const ArgRecord& value, VARTYPE declared, VARIANT* out) {
    VariantInit(out);
    switch (BaseType(value.type)) {
    case TYPE_BOOL:
        V_VT(out) = VT_BOOL;
        V_BOOL(out) = ArgBool(value) ? VARIANT_TRUE : VARIANT_FALSE;
        return true;
    case TYPE_DATETIME:
        V_VT(out) = VT_DATE;
        V_DATE(out) = ArgDouble(value);
        return true;
    case TYPE_TEXT: {
        BSTR text = GbkToBstr(static_cast<const char*>(value.ptr));
        if (!text)
            return false;
        V_VT(out) = VT_BSTR;
        V_BSTR(out) = text;
        return true;
    }
    case TYPE_BYTE:
        V_VT(out) = VT_UI1;
        V_UI1(out) = static_cast<BYTE>(value.low);
        return true;
    case TYPE_SHORT:
        V_VT(out) = VT_I2;
        V_I2(out) = static_cast<SHORT>(value.low);
        return true;
    case TYPE_INT:
    case TYPE_LONG: // only the low 32 bits travel
        V_VT(out) = VT_I4;
        V_I4(out) = static_cast<LONG>(value.low);
        return true;
    case TYPE_FLOAT:
        V_VT(out) = VT_R4;
        V_R4(out) = ArgFloat(value);
        return true;
    case TYPE_DOUBLE:
        V_VT(out) = VT_R8;
        V_R8(out) = ArgDouble(value);
        return true;
    case TYPE_OBJECT: {
        IUnknown* object = ObjectOf(value);
        if (!object) {
            SetNullUnknown(out);
            return true;
        }
        if (declared == VT_UNKNOWN) {
            object->AddRef();
            V_VT(out) = VT_UNKNOWN;
            V_UNKNOWN(out) = object;
            return true;
        }
        if (declared == VT_DISPATCH || declared == VT_VARIANT) {
            IDispatch* dispatch = nullptr;
            if (SUCCEEDED(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))) && dispatch) {
                V_VT(out) = VT_DISPATCH;
                V_DISPATCH(out) = dispatch;
                return true;
            }
            if (declared == VT_VARIANT) {
                // A variant parameter takes any object: without a dispatch
                // interface it still gets the object, not a null.
                object->AddRef();
                V_VT(out) = VT_UNKNOWN;
                V_UNKNOWN(out) = object;
                return true;
            }
        }
        SetNullUnknown(out);
        return true;
    }
    case TYPE_VARIANT: {
        auto* source = static_cast<VARIANT*>(value.ptr);
        if (!source)
            return true; // an absent block reads as an empty variant
        if (FAILED(VariantCopyInd(out, source))) {
            VariantInit(out);
            return false;
        }
        return true;
    }
    default:
        return false;
    }
}

bool VariantToValue(const VARIANT* source, ValueType target, ArgRecord* out) {
    target = BaseType(target);
    VARTYPE sourceType = V_VT(source) & VT_TYPEMASK;
    if (sourceType == VT_RECORD)
        return false;

    if (target == TYPE_VARIANT) {
        auto* block = static_cast<VARIANT*>(NewVariantBlock());
        if (FAILED(VariantCopyInd(block, const_cast<VARIANT*>(source)))) {
            RuntimeFree(block);
            return false;
        }
        SetPointer(*out, block);
        return true;
    }

    VARTYPE wanted = AutomationTypeOf(target);
    if (wanted == VT_EMPTY || wanted == VT_VARIANT)
        return false;
    ScopedVariant direct;
    if (FAILED(VariantCopyInd(direct.Get(), const_cast<VARIANT*>(source))))
        return false;
    ScopedVariant changed;
    if (FAILED(VariantChangeType(changed.Get(), direct.Get(), 0, wanted)))
        return false;
    VARIANT* v = changed.Get();

    switch (target) {
    case TYPE_BOOL:
        SetInt(*out, V_BOOL(v) != 0 ? 1 : 0);
        break;
    case TYPE_DATETIME:
        SetDouble(*out, V_DATE(v));
        break;
    case TYPE_TEXT:
        SetPointer(*out, BstrToText(V_BSTR(v)));
        break;
    case TYPE_BYTE:
        SetInt(*out, V_UI1(v));
        break;
    case TYPE_SHORT:
        SetInt(*out, static_cast<int16_t>(V_I2(v)));
        break;
    case TYPE_INT:
        SetInt(*out, V_I4(v));
        break;
    case TYPE_LONG:
        SetLong(*out, static_cast<int64_t>(V_I4(v)));
        break;
    case TYPE_FLOAT:
        SetFloat(*out, V_R4(v));
        break;
    case TYPE_DOUBLE:
        SetDouble(*out, V_R8(v));
        break;
    case TYPE_OBJECT: {
        ObjectHolder* holder = NewObjectHolder();
        if (IUnknown* object = V_UNKNOWN(v)) {
            object->AddRef();
            holder->object = object;
        }
        SetPointer(*out, holder);
        break;
    }
    default:
        return false;
    }
    return true;
}

void EmptyValue(ValueType target, ArgRecord* out) {
    out->low = out->high = 0;
    switch (BaseType(target)) {
    case TYPE_OBJECT:
        SetPointer(*out, NewObjectHolder());
        break;
    case TYPE_VARIANT:
        SetPointer(*out, NewVariantBlock());
        break;
    default:
        break;
    }
}

bool WriteBackVariable(void* address, ValueType type, const VARIANT* value) {
    if (!address)
        return false;
    type = BaseType(type);
    if (type == TYPE_VARIANT) {
        auto** slot = static_cast<void**>(address);
        ScopedVariant copy;
        if (FAILED(VariantCopyInd(copy.Get(), const_cast<VARIANT*>(value))))
            return false;
        if (!*slot)
            *slot = NewVariantBlock();
        auto* block = static_cast<VARIANT*>(*slot);
        VariantClear(block);
        std::memcpy(block, copy.Get(), sizeof(VARIANT));
        VariantInit(copy.Get()); // ownership moved into the block
        return true;
    }

    ArgRecord converted{};
    if (!VariantToValue(value, type, &converted))
        return false;
    switch (type) {
    case TYPE_BYTE:
        WriteAt<uint8_t>(address, static_cast<uint8_t>(converted.low));
        break;
    case TYPE_SHORT:
        WriteAt<int16_t>(address, static_cast<int16_t>(converted.low));
        break;
    case TYPE_INT:
    case TYPE_BOOL:
    case TYPE_FLOAT:
        WriteAt<uint32_t>(address, converted.low);
        break;
    case TYPE_LONG:
    case TYPE_DOUBLE:
    case TYPE_DATETIME:
        WriteAt<uint64_t>(address, (static_cast<uint64_t>(converted.high) << 32) | converted.low);
        break;
    case TYPE_TEXT: {
        RuntimeFree(ReadAt<void*>(address));
        WriteAt<void*>(address, converted.ptr);
        break;
    }
    case TYPE_OBJECT: {
        // The variable keeps its holder block, which now holds the new
        // interface; only a variable without one takes the new block.
        auto* fresh = static_cast<ObjectHolder*>(converted.ptr);
        auto* holder = ReadAt<ObjectHolder*>(address);
        if (!holder) {
            WriteAt<void*>(address, fresh);
            break;
        }
        ClearObjectHolder(holder);
        holder->object = fresh->object;
        fresh->object = nullptr;
        RuntimeFree(fresh);
        break;
    }
    default:
        return false;
    }
    return true;
}

SAFEARRAY* ArrayOfVariant(const VARIANT* value) {
    if (!value || !(V_VT(value) & VT_ARRAY))
        return nullptr;
    if (V_VT(value) & VT_BYREF)
        return V_ARRAYREF(value) ? *V_ARRAYREF(value) : nullptr;
    return V_ARRAY(value);
}

bool ResolveFlatIndex(SAFEARRAY* array, int64_t flatIndex, std::vector<LONG>* indices) {
    UINT dims = array ? SafeArrayGetDim(array) : 0;
    if (dims == 0 || flatIndex < 1)
        return false;
    indices->assign(dims, 0);
    int64_t rest = flatIndex - 1;
    for (UINT d = 1; d <= dims; ++d) {
        LONG lower = 0, upper = -1;
        if (FAILED(SafeArrayGetLBound(array, d, &lower)) || FAILED(SafeArrayGetUBound(array, d, &upper)))
            return false;
        int64_t size = static_cast<int64_t>(upper) - lower + 1;
        if (size <= 0)
            return false;
        (*indices)[d - 1] = static_cast<LONG>(lower + rest % size);
        rest /= size;
    }
    return rest == 0;
}
