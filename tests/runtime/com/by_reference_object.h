// An automation object whose one method takes by-reference output
// parameters. The platform's own scriptable classes declare none (outside
// return values), so the test builds the type description at run time and
// lets the system's standard dispatch implementation drive the method.
#pragma once

#include <oaidl.h>

// Exchange([in, out] BSTR* text, [in, out] long* number, [in, out] VARIANT* any,
//          [in] BSTR* source, [in] long plain)
// sets text to source + "!", adds plain to number, sets any to the text "变",
// and leaves source alone (it is an input only).
struct IByReferenceTarget : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Exchange(BSTR* text, LONG* number, VARIANT* any, BSTR* source, LONG plain) = 0;
};

// A new dispatch object (one reference) over a static target, or null when the
// type description cannot be built.
IUnknown* NewByReferenceObject();
