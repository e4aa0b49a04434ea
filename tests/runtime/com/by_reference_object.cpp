#include "tests/runtime/com/by_reference_object.h"

#include "runtime/com/com_ptr.h"

#include <oleauto.h>

#include <string>

namespace {

constexpr GUID kLibraryId = {0x6f1c9a10, 0x4b7e, 0x4f0a, {0x9d, 0x21, 0x53, 0x4c, 0x6b, 0x10, 0x2a, 0x01}};
constexpr GUID kInterfaceId = {0x6f1c9a11, 0x4b7e, 0x4f0a, {0x9d, 0x21, 0x53, 0x4c, 0x6b, 0x10, 0x2a, 0x01}};

class Target final : public IByReferenceTarget {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == kInterfaceId) {
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE Exchange(BSTR* text, LONG* number, VARIANT* any, BSTR* source, LONG plain) override {
        std::wstring joined = std::wstring(*source ? *source : L"") + L"!";
        SysFreeString(*text);
        *text = SysAllocString(joined.c_str());
        *number += plain;
        VariantClear(any);
        V_VT(any) = VT_BSTR;
        V_BSTR(any) = SysAllocString(L"\u53d8");
        // An input-only parameter: whatever happens here must not reach the
        // caller's variable.
        SysFreeString(*source);
        *source = SysAllocString(L"changed");
        return S_OK;
    }
};

Target gTarget;

ComPtr<ITypeInfo> BuildTypeInfo() {
    ComPtr<ICreateTypeLib2> library;
    if (FAILED(CreateTypeLib2(SYS_WIN32, L"sl_by_reference.tlb", library.Put())))
        return {};
    library->SetGuid(kLibraryId);
    ComPtr<ICreateTypeInfo> builder;
    if (FAILED(library->CreateTypeInfo(const_cast<wchar_t*>(L"IByReferenceTarget"), TKIND_INTERFACE, builder.Put())))
        return {};
    builder->SetGuid(kInterfaceId);

    ComPtr<ITypeLib> standard;
    ComPtr<ITypeInfo> unknownInfo;
    HREFTYPE unknownRef = 0;
    if (FAILED(LoadRegTypeLib(IID_StdOle, 2, 0, LOCALE_NEUTRAL, standard.Put())) ||
        FAILED(standard->GetTypeInfoOfGuid(IID_IUnknown, unknownInfo.Put())) ||
        FAILED(builder->AddRefTypeInfo(unknownInfo.Get(), &unknownRef)) || FAILED(builder->AddImplType(0, unknownRef)))
        return {};

    TYPEDESC bstr{}, i4{}, variant{};
    bstr.vt = VT_BSTR;
    i4.vt = VT_I4;
    variant.vt = VT_VARIANT;
    ELEMDESC params[5] = {};
    auto pointerTo = [](ELEMDESC& e, TYPEDESC* target, USHORT flags) {
        e.tdesc.vt = VT_PTR;
        e.tdesc.lptdesc = target;
        e.paramdesc.wParamFlags = flags;
    };
    pointerTo(params[0], &bstr, PARAMFLAG_FIN | PARAMFLAG_FOUT);
    pointerTo(params[1], &i4, PARAMFLAG_FIN | PARAMFLAG_FOUT);
    pointerTo(params[2], &variant, PARAMFLAG_FIN | PARAMFLAG_FOUT);
    pointerTo(params[3], &bstr, PARAMFLAG_FIN);
    params[4].tdesc.vt = VT_I4;
    params[4].paramdesc.wParamFlags = PARAMFLAG_FIN;

    FUNCDESC function{};
    function.memid = 1;
    function.funckind = FUNC_PUREVIRTUAL;
    function.invkind = INVOKE_FUNC;
    function.callconv = CC_STDCALL;
    function.cParams = 5;
    function.lprgelemdescParam = params;
    function.elemdescFunc.tdesc.vt = VT_HRESULT;
    function.oVft = 3 * sizeof(void*);
    if (FAILED(builder->AddFuncDesc(0, &function)))
        return {};
    const wchar_t* names[] = {L"Exchange", L"text", L"number", L"any", L"source", L"plain"};
    if (FAILED(builder->SetFuncAndParamNames(0, const_cast<LPOLESTR*>(names), 6)))
        return {};
    if (FAILED(builder->LayOut()))
        return {};

    ComPtr<ITypeInfo> info;
    if (FAILED(builder->QueryInterface(IID_ITypeInfo, info.PutVoid())))
        return {};
    return info;
}

} // namespace

IUnknown* NewByReferenceObject() {
    ComPtr<ITypeInfo> info = BuildTypeInfo();
    if (!info)
        return nullptr;
    IUnknown* dispatch = nullptr;
    if (FAILED(CreateStdDispatch(nullptr, &gTarget, info.Get(), &dispatch)))
        return nullptr;
    return dispatch;
}
