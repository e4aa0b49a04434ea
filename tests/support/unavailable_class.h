// A COM class made unavailable to this process alone, as on a Windows where
// the component is not installed or its optional feature is turned off:
// every creation of it fails while the object lives. Nothing outside the
// process changes (no registry key is written), so a test that dies leaves
// the machine as it was.
#pragma once

class UnavailableClass {
public:
    // progId: the class's name, e.g. L"VBScript.RegExp". A name no class is
    // registered under is unavailable already; nothing is done for it.
    explicit UnavailableClass(const wchar_t* progId);
    ~UnavailableClass();
    UnavailableClass(const UnavailableClass&) = delete;
    UnavailableClass& operator=(const UnavailableClass&) = delete;

    // False when the class is registered and could still be made.
    bool InEffect() const { return inEffect_; }

private:
    unsigned long cookie_ = 0;  // the class table entry; 0 none
    bool comInitialized_ = false;
    bool inEffect_ = false;
};
