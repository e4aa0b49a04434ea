// GBK texts to and from automation strings (BSTR).
//
// Our texts are GBK whatever the system's ANSI code page is, so the
// conversion names code page 936 explicitly; on a Chinese system that is what
// the ANSI code page would give anyway, elsewhere it keeps Chinese intact.
#pragma once

#include "runtime/core/values.h"

#include <oaidl.h>

#include <cstdint>
#include <string>

constexpr UINT kGbkCodePage = 936;

// A new BSTR holding the GBK bytes (length -1: up to the NUL). A null or empty
// text gives an empty, non-null BSTR. Null only when out of memory.
BSTR GbkToBstr(const char* text, int32_t length = -1);

// A new Text from a BSTR (its whole length, up to any embedded NUL); null for
// an empty string.
Text BstrToText(BSTR value);

// The UTF-16 form of a GBK text, for names handed to COM APIs.
std::wstring GbkToWide(const char* text);

// Owns one BSTR.
class ScopedBstr {
public:
    ScopedBstr() = default;
    explicit ScopedBstr(BSTR adopted) : s_(adopted) {}
    ~ScopedBstr() { SysFreeString(s_); }
    ScopedBstr(const ScopedBstr&) = delete;
    ScopedBstr& operator=(const ScopedBstr&) = delete;

    BSTR Get() const { return s_; }
    BSTR* Put() {
        SysFreeString(s_);
        s_ = nullptr;
        return &s_;
    }

private:
    BSTR s_ = nullptr; // owned
};

// Owns one VARIANT's contents; cleared on destruction.
class ScopedVariant {
public:
    ScopedVariant() { VariantInit(&v_); }
    ~ScopedVariant() { VariantClear(&v_); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;

    VARIANT* Get() { return &v_; }
    const VARIANT* Get() const { return &v_; }
    void Clear() { VariantClear(&v_); }

private:
    VARIANT v_;
};
