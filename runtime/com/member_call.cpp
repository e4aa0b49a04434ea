// Member access by name: bind the name through the object's type
// information, convert each argument to the parameter's declared automation
// type, call IDispatch::Invoke, write by-reference outputs back and convert
// the result.
#include "runtime/com/automation_text.h"
#include "runtime/com/com_ptr.h"
#include "runtime/com/object_commands.h"
#include "runtime/com/object_holder.h"
#include "runtime/com/variant_convert.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

thread_local int32_t tLastStatus = kCallOk;

enum class AccessMode { Read, Method, Write };

// How one declared parameter wants its argument.
struct ParamShape {
    VARTYPE type = VT_VARIANT; // declared automation type (element type for arrays)
    bool byReference = false;
    bool isArray = false;
    bool isOutput = false;
};

struct BoundMember {
    MEMBERID id = DISPID_UNKNOWN;
    WORD flags = DISPATCH_METHOD;
    std::vector<ParamShape> params;
    bool variableArguments = false;
};

// What the declared type of a parameter or variable comes down to.
struct ResolvedType {
    VARTYPE type = VT_EMPTY;
    bool isArray = false;
};

constexpr int kMaxTypeDepth = 16;

ResolvedType ResolveType(ITypeInfo* owner, const TYPEDESC& desc, int depth);

ResolvedType ResolveUserDefined(ITypeInfo* owner, HREFTYPE reference, int depth) {
    ComPtr<ITypeInfo> target;
    if (!owner || FAILED(owner->GetRefTypeInfo(reference, target.Put())) || !target)
        return {VT_UNKNOWN, false};
    TYPEATTR* attributes = nullptr;
    if (FAILED(target->GetTypeAttr(&attributes)) || !attributes)
        return {VT_UNKNOWN, false};
    ResolvedType resolved{VT_UNKNOWN, false};
    switch (attributes->typekind) {
    case TKIND_ENUM:
        resolved.type = VT_I4;
        break;
    case TKIND_DISPATCH:
        resolved.type = VT_DISPATCH;
        break;
    case TKIND_ALIAS:
        resolved = ResolveType(target.Get(), attributes->tdescAlias, depth + 1);
        break;
    case TKIND_RECORD:
        resolved.type = VT_RECORD;
        break;
    default:
        break;
    }
    target->ReleaseTypeAttr(attributes);
    return resolved;
}

ResolvedType ResolveType(ITypeInfo* owner, const TYPEDESC& desc, int depth) {
    if (depth > kMaxTypeDepth)
        return {VT_UNKNOWN, false};
    switch (desc.vt) {
    case VT_INT:
        return {VT_I4, false};
    case VT_UINT:
        return {VT_UI4, false};
    case VT_SAFEARRAY: {
        ResolvedType element = desc.lptdesc ? ResolveType(owner, *desc.lptdesc, depth + 1) : ResolvedType{VT_VARIANT};
        return {element.type, true};
    }
    case VT_CARRAY: {
        ResolvedType element =
            desc.lpadesc ? ResolveType(owner, desc.lpadesc->tdescElem, depth + 1) : ResolvedType{VT_VARIANT};
        return {element.type, true};
    }
    case VT_USERDEFINED:
        return ResolveUserDefined(owner, desc.hreftype, depth);
    default:
        return {desc.vt, false};
    }
}

bool IsInterfaceType(ITypeInfo* owner, const TYPEDESC& desc) {
    if (desc.vt != VT_USERDEFINED)
        return false;
    ComPtr<ITypeInfo> target;
    if (!owner || FAILED(owner->GetRefTypeInfo(desc.hreftype, target.Put())) || !target)
        return false;
    TYPEATTR* attributes = nullptr;
    if (FAILED(target->GetTypeAttr(&attributes)) || !attributes)
        return false;
    TYPEKIND kind = attributes->typekind;
    target->ReleaseTypeAttr(attributes);
    return kind == TKIND_INTERFACE || kind == TKIND_DISPATCH || kind == TKIND_COCLASS;
}

ParamShape ShapeOf(ITypeInfo* owner, const ELEMDESC& element) {
    ParamShape shape;
    const TYPEDESC* desc = &element.tdesc;
    // A pointer declares a by-reference parameter of the pointed-to type,
    // except that a pointer to an interface is the interface itself.
    if (desc->vt == VT_PTR && desc->lptdesc && !IsInterfaceType(owner, *desc->lptdesc)) {
        shape.byReference = true;
        desc = desc->lptdesc;
    } else if (desc->vt == VT_PTR && desc->lptdesc) {
        desc = desc->lptdesc;
    }
    ResolvedType resolved = ResolveType(owner, *desc, 0);
    shape.type = resolved.type;
    shape.isArray = resolved.isArray;
    shape.isOutput = (element.paramdesc.wParamFlags & PARAMFLAG_FOUT) != 0;
    return shape;
}

void DescribeFunction(ITypeInfo* owner, const FUNCDESC& function, BoundMember* member) {
    member->id = function.memid;
    member->flags = static_cast<WORD>(function.invkind);
    member->variableArguments = function.cParamsOpt == -1;
    for (SHORT i = 0; i < function.cParams; ++i) {
        const ELEMDESC& element = function.lprgelemdescParam[i];
        // The return-value and locale slots of a vtable description are not
        // arguments the caller passes.
        if (element.paramdesc.wParamFlags & (PARAMFLAG_FRETVAL | PARAMFLAG_FLCID))
            continue;
        member->params.push_back(ShapeOf(owner, element));
    }
}

void DescribeVariable(ITypeInfo* owner, const VARDESC& variable, AccessMode mode, BoundMember* member) {
    member->id = variable.memid;
    if (mode != AccessMode::Write) {
        member->flags = DISPATCH_PROPERTYGET;
        return;
    }
    ParamShape value = ShapeOf(owner, variable.elemdescVar);
    bool byReferencePut = value.isArray || value.type == VT_DISPATCH || value.type == VT_UNKNOWN;
    member->flags = byReferencePut ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
    value.byReference = false;
    value.isOutput = false;
    member->params.push_back(value);
}

int32_t BindMember(IDispatch* dispatch, std::wstring& name, AccessMode mode, LCID locale, BoundMember* member) {
    ComPtr<ITypeComp> binder;
    {
        ComPtr<ITypeInfo> typeInfo;
        if (FAILED(dispatch->GetTypeInfo(0, locale, typeInfo.Put())) || !typeInfo)
            return kCallNoTypeInfo;
        if (FAILED(typeInfo->GetTypeComp(binder.Put())) || !binder)
            return kCallNoTypeInfo;
    }

    static constexpr WORD kReadKinds[] = {INVOKE_PROPERTYGET, INVOKE_FUNC};
    static constexpr WORD kMethodKinds[] = {INVOKE_FUNC, INVOKE_PROPERTYGET, INVOKE_PROPERTYPUT, INVOKE_PROPERTYPUTREF};
    static constexpr WORD kWriteKinds[] = {INVOKE_PROPERTYPUT, INVOKE_PROPERTYPUTREF, INVOKE_FUNC};
    const WORD* kinds = kMethodKinds;
    size_t kindCount = std::size(kMethodKinds);
    if (mode == AccessMode::Read) {
        kinds = kReadKinds;
        kindCount = std::size(kReadKinds);
    } else if (mode == AccessMode::Write) {
        kinds = kWriteKinds;
        kindCount = std::size(kWriteKinds);
    }

    ULONG hash = LHashValOfNameSys(SYS_WIN32, locale, name.c_str());
    for (size_t k = 0; k < kindCount; ++k) {
        ITypeInfo* boundInfo = nullptr;
        DESCKIND kind = DESCKIND_NONE;
        BINDPTR bound{};
        if (FAILED(binder->Bind(name.data(), hash, kinds[k], &boundInfo, &kind, &bound)))
            continue;
        ComPtr<ITypeInfo> owner(boundInfo);
        switch (kind) {
        case DESCKIND_FUNCDESC:
            DescribeFunction(owner.Get(), *bound.lpfuncdesc, member);
            if (owner)
                owner->ReleaseFuncDesc(bound.lpfuncdesc);
            return kCallOk;
        case DESCKIND_VARDESC:
        case DESCKIND_IMPLICITAPPOBJ:
            DescribeVariable(owner.Get(), *bound.lpvardesc, mode, member);
            if (owner)
                owner->ReleaseVarDesc(bound.lpvardesc);
            return kCallOk;
        case DESCKIND_TYPECOMP:
            if (bound.lptcomp)
                bound.lptcomp->Release();
            return kCallNoMember;
        default:
            continue;
        }
    }
    return kCallNoMember;
}

// Objects that answer names but describe no types (the match collections of
// some regular-expression engines do this) are still usable: the member is
// found through IDispatch itself and every argument travels as a plain
// variant, since no declared types are known. Without either, the object is
// reported as having no type information.
int32_t BindByDispatchName(IDispatch* dispatch, std::wstring& name, AccessMode mode, LCID locale, BoundMember* member) {
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(dispatch->GetIDsOfNames(IID_NULL, names, 1, locale, &id)))
        return kCallNoTypeInfo;
    member->id = id;
    member->variableArguments = true;
    switch (mode) {
    case AccessMode::Read:
        member->flags = DISPATCH_PROPERTYGET | DISPATCH_METHOD;
        break;
    case AccessMode::Method:
        member->flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
        break;
    case AccessMode::Write:
        member->flags = DISPATCH_PROPERTYPUT;
        break;
    }
    return kCallOk;
}

int32_t StatusOfInvokeFailure(HRESULT hr) {
    switch (hr) {
    case DISP_E_BADPARAMCOUNT:
        return kCallBadParamCount;
    case DISP_E_BADVARTYPE:
        return kCallBadVarType;
    case DISP_E_EXCEPTION:
        return kCallException;
    case DISP_E_MEMBERNOTFOUND:
        return kCallMemberNotFound;
    case DISP_E_NONAMEDARGS:
        return kCallNoNamedArgs;
    case DISP_E_OVERFLOW:
        return kCallOverflow;
    case DISP_E_PARAMNOTFOUND:
        return kCallParamNotFound;
    case DISP_E_TYPEMISMATCH:
        return kCallTypeMismatch;
    case DISP_E_PARAMNOTOPTIONAL:
        return kCallParamNotOptional;
    default:
        return kCallInvokeFailed;
    }
}

// The argument variants of one call. `values` own their contents; `passed` is
// what Invoke sees, in reverse order, either a bitwise alias of a value or a
// by-reference variant pointing into it.
class ArgumentFrame {
public:
    explicit ArgumentFrame(size_t count) : values_(count), passed_(count), byReference_(count, false) {
        for (VARIANT& v : values_)
            VariantInit(&v);
        for (VARIANT& v : passed_)
            VariantInit(&v);
    }
    ~ArgumentFrame() {
        for (VARIANT& v : values_)
            VariantClear(&v);
    }
    ArgumentFrame(const ArgumentFrame&) = delete;
    ArgumentFrame& operator=(const ArgumentFrame&) = delete;

    size_t Count() const { return values_.size(); }
    VARIANT* Value(size_t i) { return &values_[i]; }
    VARIANT* Passed(size_t i) { return &passed_[Count() - 1 - i]; }
    VARIANT* PassedArray() { return passed_.empty() ? nullptr : passed_.data(); }
    bool PassedByReference(size_t i) const { return byReference_[i]; }

    void PassByValue(size_t i) { std::memcpy(Passed(i), Value(i), sizeof(VARIANT)); }

    void PassByReference(size_t i, VARTYPE type) {
        VARIANT* value = Value(i);
        VARIANT* passed = Passed(i);
        V_VT(passed) = static_cast<VARTYPE>(VT_BYREF | type);
        if (type == VT_VARIANT) {
            V_VARIANTREF(passed) = value;
        } else if (type == VT_DECIMAL) {
            V_DECIMALREF(passed) = &V_DECIMAL(value); // a decimal overlays the whole variant
        } else if (type & VT_ARRAY) {
            V_ARRAYREF(passed) = &V_ARRAY(value);
        } else {
            V_BYREF(passed) = &V_UI1(value); // every other member starts at the same place
        }
        byReference_[i] = true;
    }

private:
    std::vector<VARIANT> values_;
    std::vector<VARIANT> passed_;
    std::vector<bool> byReference_;
};

// Prepares argument i for a parameter of the given shape (step 6 of a call).
int32_t PrepareArgument(ArgumentFrame& frame, size_t i, const ArgRecord& arg, const ParamShape& shape) {
    VARIANT* value = frame.Value(i);
    if (IsOmitted(arg)) {
        V_VT(value) = VT_ERROR;
        V_ERROR(value) = DISP_E_PARAMNOTFOUND;
        frame.PassByValue(i);
        return kCallOk;
    }
    VARTYPE declared = shape.isArray ? static_cast<VARTYPE>(VT_VARIANT) : shape.type;
    if (!ValueToVariant(ReadThroughReference(arg), declared, value))
        return kCallBadArgumentType;
    if (!shape.byReference) {
        frame.PassByValue(i);
        return kCallOk;
    }
    if (shape.isArray) {
        if (V_VT(value) & VT_ARRAY) {
            frame.PassByReference(i, V_VT(value));
        } else {
            frame.PassByValue(i);
        }
        return kCallOk;
    }
    if (shape.type == VT_VARIANT) {
        frame.PassByReference(i, VT_VARIANT);
        return kCallOk;
    }
    if (shape.type != VT_RECORD && shape.type != VT_EMPTY) {
        ScopedVariant changed;
        if (SUCCEEDED(VariantChangeType(changed.Get(), value, 0, shape.type))) {
            VariantClear(value);
            std::memcpy(value, changed.Get(), sizeof(VARIANT));
            VariantInit(changed.Get());
            frame.PassByReference(i, shape.type);
            return kCallOk;
        }
    }
    frame.PassByValue(i);
    return kCallOk;
}

// Converts the member's arguments, calls it, writes by-reference outputs back
// and converts the result. `count` may exceed `given`: the extra arguments
// travel as empty variants.
int32_t InvokeMember(IDispatch* dispatch, const BoundMember& member, LCID locale, ArgRecord* memberArgs, size_t given,
                     size_t count, ValueType resultType, CommandResult* result) {
    ArgumentFrame frame(count);
    for (size_t i = 0; i < count; ++i) {
        ParamShape shape; // a variable argument list takes plain variants
        bool inList = member.variableArguments ? i + 1 < member.params.size() : i < member.params.size();
        if (inList)
            shape = member.params[i];
        ArgRecord arg = i < given ? memberArgs[i] : MakePointerArg(nullptr, TYPE_VARIANT);
        if (int32_t status = PrepareArgument(frame, i, arg, shape); status != kCallOk)
            return status;
    }

    DISPID namedPut = DISPID_PROPERTYPUT;
    DISPPARAMS params{frame.PassedArray(), nullptr, static_cast<UINT>(count), 0};
    // A put takes its value as the one named argument; with no value at all
    // there is nothing to name.
    if ((member.flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) && count > 0) {
        params.rgdispidNamedArgs = &namedPut;
        params.cNamedArgs = 1;
    }
    ScopedVariant returned;
    UINT argumentError = 0;
    HRESULT hr =
        dispatch->Invoke(member.id, IID_NULL, locale, member.flags, &params, returned.Get(), nullptr, &argumentError);
    if (FAILED(hr))
        return StatusOfInvokeFailure(hr);

    for (size_t i = 0; i < given; ++i) {
        bool output = i < member.params.size() && member.params[i].isOutput;
        if (output && frame.PassedByReference(i) && HasArrayFlag(memberArgs[i].type)) {
            WriteBackVariable(memberArgs[i].ptr, memberArgs[i].type, frame.Value(i));
        }
    }
    if (resultType != TYPE_NONE && !VariantToValue(returned.Get(), resultType, result))
        return kCallBadResultType;
    return kCallOk;
}

int32_t AccessMember(AccessMode mode, ValueType resultType, int32_t argc, ArgRecord* args, CommandResult* result) {
    ObjectHolder* holder = argc >= 1 ? HolderOfArg(args[0]) : nullptr;
    std::wstring name = argc >= 2 ? GbkToWide(TextOfArg(args[1])) : std::wstring();
    if (!holder || !holder->object)
        return kCallEmptyHolder;

    ComPtr<IDispatch> dispatch;
    auto* object = static_cast<IUnknown*>(holder->object);
    if (FAILED(object->QueryInterface(IID_IDispatch, dispatch.PutVoid())) || !dispatch)
        return kCallNoDispatch;
    LCID locale = GetUserDefaultLCID();
    if (name.empty())
        return kCallNoMember;

    BoundMember member;
    int32_t status = BindMember(dispatch.Get(), name, mode, locale, &member);
    if (status == kCallNoTypeInfo)
        status = BindByDispatchName(dispatch.Get(), name, mode, locale, &member);
    if (status != kCallOk)
        return status;

    size_t given = argc > 2 ? static_cast<size_t>(argc - 2) : 0;
    while (given > 0 && IsOmitted(args[2 + given - 1]))
        --given;
    if (given > member.params.size() && !member.variableArguments)
        return kCallTooManyArguments;

    status = InvokeMember(dispatch.Get(), member, locale, args + 2, given, given, resultType, result);
    // Some standard dispatch implementations refuse a variable argument list
    // with no element at all, before the member runs; the list then gets one
    // empty element (a script function sees it as undefined).
    if (status == kCallBadParamCount && member.variableArguments && given + 1 == member.params.size()) {
        status = InvokeMember(dispatch.Get(), member, locale, args + 2, given, given + 1, resultType, result);
    }
    return status;
}

void MemberCommand(AccessMode mode, ValueType resultType, CommandResult* result, int32_t argc, ArgRecord* args) {
    result->type = resultType;
    int32_t status = kCallInvokeFailed;
    try {
        status = AccessMember(mode, resultType, argc, args, result);
    } catch (...) {
        status = kCallInvokeFailed;
    }
    if (status != kCallOk && resultType != TYPE_NONE)
        EmptyValue(resultType, result);
    tLastStatus = status;
    if (mode == AccessMode::Write)
        SetBool(*result, status == kCallOk);
}

} // namespace

int32_t LastObjectCallStatus() {
    return tLastStatus;
}

void ReadPropertyText(CommandResult* r, int32_t argc, ArgRecord* args) {
    MemberCommand(AccessMode::Read, TYPE_TEXT, r, argc, args);
}
void ReadPropertyNumber(CommandResult* r, int32_t argc, ArgRecord* args) {
    MemberCommand(AccessMode::Read, TYPE_DOUBLE, r, argc, args);
}
void ReadPropertyObject(CommandResult* r, int32_t argc, ArgRecord* args) {
    MemberCommand(AccessMode::Read, TYPE_OBJECT, r, argc, args);
}
void ReadProperty(CommandResult* r, int32_t argc, ArgRecord* args) {
    MemberCommand(AccessMode::Read, TYPE_VARIANT, r, argc, args);
}
void CallMethod(CommandResult* r, int32_t argc, ArgRecord* args) {
    MemberCommand(AccessMode::Method, TYPE_NONE, r, argc, args);
}
void CallMethodText(CommandResult* r, int32_t argc, ArgRecord* args) {
    MemberCommand(AccessMode::Method, TYPE_TEXT, r, argc, args);
}
void CallMethodNumber(CommandResult* r, int32_t argc, ArgRecord* args) {
    MemberCommand(AccessMode::Method, TYPE_DOUBLE, r, argc, args);
}
void CallMethodObject(CommandResult* r, int32_t argc, ArgRecord* args) {
    MemberCommand(AccessMode::Method, TYPE_OBJECT, r, argc, args);
}
void WriteProperty(CommandResult* r, int32_t argc, ArgRecord* args) {
    MemberCommand(AccessMode::Write, TYPE_NONE, r, argc, args);
}
