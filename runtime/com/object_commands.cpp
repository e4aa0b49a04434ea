#include "runtime/com/object_commands.h"

#include "runtime/com/automation_text.h"
#include "runtime/com/com_ptr.h"
#include "runtime/com/object_holder.h"
#include "runtime/com/variant_convert.h"

#include <ole2.h>
#include <windows.h>

#include <cstring>
#include <string>

namespace {

// In-process server, in-process handler, local server, remote server; the
// retry drops the remote server for systems that refuse it.
constexpr DWORD kCreateContext = 0x17;
constexpr DWORD kCreateContextLocal = 0x07;

// Looks the class up by name in the type library file and creates an
// instance through its type information. Null when any step fails.
IUnknown* CreateFromTypeLibrary(const std::wstring& className, const std::wstring& libraryFile) {
    ComPtr<ITypeLib> library;
    if (FAILED(LoadTypeLib(libraryFile.c_str(), library.Put())) || !library)
        return nullptr;

    LCID locale = GetUserDefaultLCID();
    std::wstring name = className; // FindName may rewrite the buffer's case
    ULONG hash = LHashValOfNameSys(SYS_WIN32, locale, name.c_str());
    ITypeInfo* found = nullptr;
    MEMBERID member = 0;
    USHORT wanted = 1;
    HRESULT hr = library->FindName(name.data(), hash, &found, &member, &wanted);
    ComPtr<ITypeInfo> typeInfo(SUCCEEDED(hr) && wanted == 1 ? found : nullptr);
    if (!typeInfo && found)
        found->Release();

    IUnknown* object = nullptr;
    if (typeInfo && FAILED(typeInfo->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)))) {
        object = nullptr;
    }
    if (libraryFile.find(L'\\') != std::wstring::npos) {
        RegisterTypeLib(library.Get(), const_cast<wchar_t*>(libraryFile.c_str()), nullptr);
    }
    return object;
}

IUnknown* CreateFromClassText(const std::wstring& classText) {
    CLSID classId{};
    HRESULT hr = classText.starts_with(L"{") ? CLSIDFromString(classText.c_str(), &classId)
                                             : CLSIDFromProgID(classText.c_str(), &classId);
    if (FAILED(hr))
        return nullptr;
    IUnknown* object = nullptr;
    hr = CoCreateInstance(classId, nullptr, kCreateContext, IID_IUnknown, reinterpret_cast<void**>(&object));
    if (hr == E_INVALIDARG) {
        hr = CoCreateInstance(classId, nullptr, kCreateContextLocal, IID_IUnknown, reinterpret_cast<void**>(&object));
    }
    return SUCCEEDED(hr) ? object : nullptr;
}

bool CreateObjectImpl(int32_t argc, ArgRecord* args) {
    if (argc < 2 || BaseType(args[0].type) != TYPE_OBJECT || BaseType(args[1].type) != TYPE_TEXT)
        return false;
    const char* classText = TextOfArg(args[1]);
    std::wstring wideClass = GbkToWide(classText);
    if (wideClass.empty())
        return false;

    ComPtr<IUnknown> object;
    if (!wideClass.starts_with(L"{") && argc >= 3 && BaseType(args[2].type) == TYPE_TEXT) {
        std::wstring libraryFile = GbkToWide(TextOfArg(args[2]));
        if (!libraryFile.empty())
            *object.Put() = CreateFromTypeLibrary(wideClass, libraryFile);
    }
    if (!object)
        *object.Put() = CreateFromClassText(wideClass);
    if (!object)
        return false;
    if (FAILED(OleRun(object.Get())))
        return false;

    // Only now is the variable touched: a failure above leaves its old object.
    ObjectHolder* holder = HolderOfVariable(args[0]);
    if (!holder)
        return false;
    ClearObjectHolder(holder);
    holder->object = object.Detach();
    return true;
}

} // namespace

void CreateObject(CommandResult* result, int32_t argc, ArgRecord* args) {
    bool created = false;
    try {
        created = CreateObjectImpl(argc, args);
    } catch (...) {
        created = false;
    }
    SetBool(*result, created);
}

void ClearObject(CommandResult* result, int32_t argc, ArgRecord* args) {
    if (argc >= 1)
        ClearObjectHolder(HolderOfArg(args[0]));
}

void CopyObject(CommandResult* result, int32_t argc, ArgRecord* args) {
    if (argc < 2)
        return;
    ObjectHolder* destination = HolderOfVariable(args[0]);
    ObjectHolder* source = HolderOfArg(args[1]);
    if (!destination)
        return;
    // The destination is a fresh holder from the program code; its previous
    // content, if any, is not ours to release.
    destination->aux = 0;
    destination->object = source ? source->object : nullptr;
    if (destination->object)
        static_cast<IUnknown*>(destination->object)->AddRef();
}

void IsObjectEmpty(CommandResult* result, int32_t argc, ArgRecord* args) {
    ObjectHolder* holder = argc >= 1 ? HolderOfArg(args[0]) : nullptr;
    SetBool(*result, !holder || !holder->object);
}

namespace {

constexpr NamedObjectCommand kObjectCommands[] = {
    {"CreateObject", CreateObject},
    {"ClearObject", ClearObject},
    {"CopyObject", CopyObject},
    {"IsObjectEmpty", IsObjectEmpty},
    {"ReadPropertyText", ReadPropertyText},
    {"ReadPropertyNumber", ReadPropertyNumber},
    {"ReadPropertyObject", ReadPropertyObject},
    {"ReadProperty", ReadProperty},
    {"CallMethod", CallMethod},
    {"CallMethodText", CallMethodText},
    {"CallMethodNumber", CallMethodNumber},
    {"CallMethodObject", CallMethodObject},
    {"WriteProperty", WriteProperty},
    {"CopyVariant", CopyVariant},
    {"ClearVariant", ClearVariant},
    {"VariantToText", VariantToText},
    {"SetVariant", SetVariant},
};

} // namespace

const NamedObjectCommand* ObjectCommandTable(int32_t* count) {
    *count = static_cast<int32_t>(std::size(kObjectCommands));
    return kObjectCommands;
}

CommandFn FindObjectCommand(const char* name) {
    if (!name)
        return nullptr;
    for (const NamedObjectCommand& entry : kObjectCommands) {
        if (std::strcmp(entry.name, name) == 0)
            return entry.command;
    }
    return nullptr;
}
