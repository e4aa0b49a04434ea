#include "app/text/script_sink.h"

#include "runtime/com/automation_text.h"

#include <oaidl.h>
#include <windows.h>

namespace {

class ScriptSink final : public IDispatch {
public:
    ScriptSink() { VariantInit(&last_); }
    ~ScriptSink() { VariantClear(&last_); }
    ScriptSink(const ScriptSink&) = delete;
    ScriptSink& operator=(const ScriptSink&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IDispatch) return E_NOINTERFACE;
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override
    {
        if (info) *info = nullptr;
        return DISP_E_BADINDEX;
    }
    // Every name is the one member.
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override
    {
        if (!ids) return E_POINTER;
        for (UINT i = 0; i < count; ++i) ids[i] = i == 0 ? kTake : DISPID_UNKNOWN;
        return count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                     UINT*) override
    {
        if (id != kTake) return DISP_E_MEMBERNOTFOUND;
        if (result) VariantInit(result);
        if (!params || params->cArgs != 1 || !params->rgvarg) return DISP_E_BADPARAMCOUNT;
        VariantClear(&last_);
        return VariantCopyInd(&last_, &params->rgvarg[0]);
    }

    OwnedText Text() const
    {
        if (V_VT(&last_) != VT_BSTR) return OwnedText();
        return OwnedText(BstrToText(V_BSTR(&last_)));
    }

private:
    static constexpr DISPID kTake = 1;
    LONG refs_ = 1;
    VARIANT last_;
};

}  // namespace

ObjectHolder* NewScriptSink()
{
    ObjectHolder* holder = NewObjectHolder();
    holder->object = static_cast<IDispatch*>(new ScriptSink);
    return holder;
}

OwnedText ScriptSinkText(const ObjectHolder* holder)
{
    if (!holder || !holder->object) return OwnedText();
    return static_cast<const ScriptSink*>(static_cast<IDispatch*>(holder->object))->Text();
}
