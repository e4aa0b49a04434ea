// Creating, copying and clearing objects, and the member calls' statuses,
// against the platform's own automation classes.
#include "tests/runtime/com/com_test_util.h"
#include "tests/support/heap_balance.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr const char* kRegExp = "VBScript.RegExp";
constexpr const char* kRegExpClassId = "{3F4DACA4-160D-11D2-A8E9-00104B365C9F}";
// A real class without IDispatch: the global interface table.
constexpr const char* kNoDispatchClassId = "{00000323-0000-0000-C000-000000000046}";

// An automation object that describes no types and knows no member names:
// GetTypeInfoCount says 0, as IDispatch allows. The platform's own classes
// cannot stand in for it: which of them carry type information differs
// between Windows and Wine.
class Undescribed final : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = iid == IID_IUnknown || iid == IID_IDispatch ? static_cast<IDispatch*>(this) : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        *info = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override {
        for (UINT i = 0; i < count; ++i)
            ids[i] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
};

Undescribed gUndescribed;

using ObjectCommandsTest = ComTest;

TEST_F(ObjectCommandsTest, CreateObjectByProgIdAndByClassIdentifier) {
    for (const char* classText : {kRegExp, kRegExpClassId, "vbscript.regexp"}) {
        OwnedHolder holder(NewObjectHolder());
        ObjectHolder* variable = holder.get();
        CommandResult r = Call(CreateObject, {ByReference(&variable, TYPE_OBJECT), TextArg(classText)});
        EXPECT_EQ(r.low, 1u) << classText;
        EXPECT_EQ(r.type, TYPE_NONE) << "fixed result type leaves the type word 0";
        EXPECT_NE(holder->object, nullptr) << classText;
        EXPECT_EQ(Call(IsObjectEmpty, {ObjectArg(holder.get())}).low, 0u);
    }
}

TEST_F(ObjectCommandsTest, FailedCreationLeavesTheVariableUnchanged) {
    OwnedHolder holder = Create(kRegExp);
    void* before = holder->object;
    ASSERT_NE(before, nullptr);
    for (const char* classText :
         {"No.SuchClass.Anywhere", "{00000000-1111-2222-3333-444444444444}", "{not a guid}", ""}) {
        CommandResult r = Call(CreateObject, {ObjectArg(holder.get()), TextArg(classText)});
        EXPECT_EQ(r.low, 0u) << classText;
        EXPECT_EQ(holder->object, before) << classText;
    }
}

TEST_F(ObjectCommandsTest, CreateObjectReplacesAndReleasesThePreviousObject) {
    OwnedHolder holder = Create(kRegExp);
    auto* first = static_cast<IUnknown*>(holder->object);
    first->AddRef(); // keep it alive to watch its count
    ULONG heldTwice = RefCount(first);
    ASSERT_EQ(Call(CreateObject, {ObjectArg(holder.get()), TextArg(kRegExp)}).low, 1u);
    EXPECT_NE(holder->object, first);
    EXPECT_EQ(RefCount(first), heldTwice - 1);
    first->Release();
}

TEST_F(ObjectCommandsTest, CreateObjectThroughATypeLibrary) {
    // "StdFont" is a class of the standard OLE type library; found there by
    // name, it is made through its type information.
    OwnedHolder font(NewObjectHolder());
    CommandResult r = Call(CreateObject, {ObjectArg(font.get()), TextArg("StdFont"), TextArg("stdole2.tlb")});
    ASSERT_EQ(r.low, 1u);
    ASSERT_NE(font->object, nullptr);
    ASSERT_EQ(Call(WriteProperty, {ObjectArg(font.get()), TextArg("Bold"), MakeBoolArg(true)}).low, 1u);
    EXPECT_EQ(ArgDouble(Call(ReadPropertyNumber, {ObjectArg(font.get()), TextArg("Bold")})), -1.0);

    // A library that cannot be loaded leaves the class text to the registry.
    OwnedHolder regexp(NewObjectHolder());
    r = Call(CreateObject, {ObjectArg(regexp.get()), TextArg("VBScript.RegExp"), TextArg("no_such_library.tlb")});
    EXPECT_EQ(r.low, 1u);
    EXPECT_NE(regexp->object, nullptr);
}

TEST_F(ObjectCommandsTest, ClearCopyAndEmptiness) {
    OwnedHolder source = Create(kRegExp);
    ULONG alone = RefCount(source->object);

    OwnedHolder copy(NewObjectHolder());
    Call(CopyObject, {ObjectArg(copy.get()), ObjectArg(source.get())});
    EXPECT_EQ(copy->object, source->object);
    EXPECT_EQ(copy->aux, 0u);
    EXPECT_EQ(RefCount(source->object), alone + 1);

    Call(ClearObject, {ObjectArg(copy.get())});
    EXPECT_EQ(copy->object, nullptr);
    EXPECT_EQ(Call(IsObjectEmpty, {ObjectArg(copy.get())}).low, 1u);
    EXPECT_EQ(RefCount(source->object), alone);

    // Clearing an empty holder, and copying one, are harmless.
    Call(ClearObject, {ObjectArg(copy.get())});
    OwnedHolder empty(NewObjectHolder());
    Call(CopyObject, {ObjectArg(copy.get()), ObjectArg(empty.get())});
    EXPECT_EQ(copy->object, nullptr);
}

TEST_F(ObjectCommandsTest, ObjectVariableWithoutHolderGetsOne) {
    ObjectHolder* variable = nullptr;
    ASSERT_EQ(Call(CreateObject, {ByReference(&variable, TYPE_OBJECT), TextArg(kRegExp)}).low, 1u);
    ASSERT_NE(variable, nullptr);
    EXPECT_NE(variable->object, nullptr);
    FreeObjectHolder(variable);
}

// Every status a member call can end with that our platform objects can
// produce, with the empty result the failing readers give.
TEST_F(ObjectCommandsTest, MemberCallStatuses) {
    OwnedHolder regexp = Create(kRegExp);
    OwnedHolder undescribed(NewObjectHolder());
    undescribed->object = static_cast<IDispatch*>(&gUndescribed);
    OwnedHolder noDispatch = Create(kNoDispatchClassId);
    OwnedHolder empty(NewObjectHolder());
    ASSERT_NE(regexp->object, nullptr);
    ASSERT_NE(noDispatch->object, nullptr);

    struct Case {
        const char* what;
        ObjectHolder* object;
        CommandFn command;
        std::vector<ArgRecord> memberArgs;
        const char* member;
        int32_t status;
    };
    const Case cases[] = {
        {"empty holder", empty.get(), ReadPropertyText, {}, "Pattern", kCallEmptyHolder},
        {"no IDispatch", noDispatch.get(), ReadPropertyText, {}, "Pattern", kCallNoDispatch},
        {"unknown member", regexp.get(), CallMethodText, {}, "NoSuchMember", kCallNoMember},
        {"empty member name", regexp.get(), CallMethodText, {}, "", kCallNoMember},
        {"no type information", undescribed.get(), ReadPropertyText, {}, "Charset", kCallNoTypeInfo},
        {"too many arguments",
         regexp.get(),
         CallMethodText,
         {TextArg("a"), TextArg("b")},
         "Test",
         kCallTooManyArguments},
        {"property read with an argument",
         regexp.get(),
         ReadPropertyText,
         {TextArg("x")},
         "Pattern",
         kCallTooManyArguments},
        {"property read as a method with an argument",
         regexp.get(),
         CallMethodText,
         {TextArg("abc")},
         "Global",
         kCallTooManyArguments},
        {"success", regexp.get(), ReadPropertyText, {}, "Pattern", kCallOk},
    };
    for (const Case& c : cases) {
        std::vector<ArgRecord> args{ObjectArg(c.object), TextArg(c.member)};
        args.insert(args.end(), c.memberArgs.begin(), c.memberArgs.end());
        CommandResult r = Call(c.command, args);
        EXPECT_EQ(LastObjectCallStatus(), c.status) << c.what;
        EXPECT_EQ(r.type, TYPE_TEXT) << c.what;
        EXPECT_EQ(TakeText(r), "") << c.what;
    }
}

TEST_F(ObjectCommandsTest, InvokeFailuresMapToTheirStatus) {
    OwnedHolder regexp = Create(kRegExp);
    // "Global" takes a bool: a text that is no bool is refused by the
    // object's own argument coercion.
    CommandResult r = Call(WriteProperty, {ObjectArg(regexp.get()), TextArg("Global"), TextArg("not a bool")});
    EXPECT_EQ(r.low, 0u);
    EXPECT_EQ(LastObjectCallStatus(), kCallTypeMismatch);

    // A missing argument that is not optional.
    r = Call(CallMethodNumber, {ObjectArg(regexp.get()), TextArg("Test")});
    EXPECT_EQ(r.type, TYPE_DOUBLE);
    EXPECT_EQ(ArgDouble(r), 0.0);
    EXPECT_EQ(LastObjectCallStatus(), kCallBadParamCount);
}

TEST_F(ObjectCommandsTest, WritePropertyPassesTheValueAsThePutArgument) {
    OwnedHolder regexp = Create(kRegExp);
    CommandResult w = Call(WriteProperty, {ObjectArg(regexp.get()), TextArg("Pattern"), TextArg("a+b")});
    EXPECT_EQ(w.low, 1u);
    EXPECT_EQ(w.type, TYPE_NONE);
    EXPECT_EQ(LastObjectCallStatus(), kCallOk);
    EXPECT_EQ(TakeText(Call(ReadPropertyText, {ObjectArg(regexp.get()), TextArg("Pattern")})), "a+b");

    ASSERT_EQ(Call(WriteProperty, {ObjectArg(regexp.get()), TextArg("IgnoreCase"), MakeBoolArg(true)}).low, 1u);
    EXPECT_EQ(ArgDouble(Call(ReadPropertyNumber, {ObjectArg(regexp.get()), TextArg("IgnoreCase")})), -1.0);
}

// GBK texts reach the object as the right UTF-16 and come back byte for
// byte, whatever the system's ANSI code page is.
TEST_F(ObjectCommandsTest, ChineseTextRoundTripsThroughTheObject) {
    const char* pattern = "\xD6\xD0\xCE\xC4(\\d+)\xA1\xA2"; // 中文(\d+)、
    const char* subject = "x \xD6\xD0\xCE\xC4"
                          "42\xA1\xA2 y";
    OwnedHolder regexp = Create(kRegExp);
    ASSERT_EQ(Call(WriteProperty, {ObjectArg(regexp.get()), TextArg("Pattern"), TextArg(pattern)}).low, 1u);
    EXPECT_EQ(TakeText(Call(ReadPropertyText, {ObjectArg(regexp.get()), TextArg("Pattern")})), pattern);

    CommandResult replaced =
        Call(CallMethodText, {ObjectArg(regexp.get()), TextArg("Replace"), TextArg(subject), TextArg("[$1\xBA\xC3]")});
    EXPECT_EQ(TakeText(replaced), "x [42\xBA\xC3] y");
    EXPECT_EQ(LastObjectCallStatus(), kCallOk);

    // A byte-for-byte round trip would survive a single-byte code page too:
    // the engine must see two characters, and hand the right two back.
    OwnedHolder script = Create("ScriptControl");
    ASSERT_EQ(Call(WriteProperty, {ObjectArg(script.get()), TextArg("Language"), TextArg("JScript")}).low, 1u);
    CommandResult length =
        Call(CallMethodNumber, {ObjectArg(script.get()), TextArg("Eval"), TextArg("'\xD6\xD0\xCE\xC4'.length")});
    EXPECT_EQ(ArgDouble(length), 2.0);
    EXPECT_EQ(TakeText(Call(CallMethodText, {ObjectArg(script.get()), TextArg("Eval"), TextArg("'\\u4e2d\\u6587'")})),
              "\xD6\xD0\xCE\xC4");
}

TEST_F(ObjectCommandsTest, ObjectResultsAndObjectArguments) {
    OwnedHolder regexp = Create(kRegExp);
    ASSERT_EQ(Call(WriteProperty, {ObjectArg(regexp.get()), TextArg("Pattern"), TextArg("b(.)")}).low, 1u);
    ASSERT_EQ(Call(WriteProperty, {ObjectArg(regexp.get()), TextArg("Global"), MakeBoolArg(true)}).low, 1u);
    CommandResult matches = Call(CallMethodObject, {ObjectArg(regexp.get()), TextArg("Execute"), TextArg("ab1 ab2")});
    EXPECT_EQ(matches.type, TYPE_OBJECT);
    OwnedHolder collection(static_cast<ObjectHolder*>(matches.ptr));
    ASSERT_NE(collection.get(), nullptr);
    ASSERT_NE(collection->object, nullptr);
    EXPECT_EQ(ArgDouble(Call(ReadPropertyNumber, {ObjectArg(collection.get()), TextArg("Count")})), 2.0);
    EXPECT_EQ(LastObjectCallStatus(), 0);

    CommandResult item = Call(ReadPropertyObject, {ObjectArg(collection.get()), TextArg("Item"), MakeDoubleArg(1.0)});
    OwnedHolder second(static_cast<ObjectHolder*>(item.ptr));
    EXPECT_EQ(TakeText(Call(ReadPropertyText, {ObjectArg(second.get()), TextArg("Value")})), "b2");

    // An object handed to a script engine as an argument arrives usable.
    OwnedHolder script = Create("ScriptControl");
    ASSERT_EQ(Call(WriteProperty, {ObjectArg(script.get()), TextArg("Language"), TextArg("JScript")}).low, 1u);
    Call(CallMethod, {ObjectArg(script.get()), TextArg("AddObject"), TextArg("m"), ObjectArg(second.get())});
    EXPECT_EQ(LastObjectCallStatus(), kCallOk);
    EXPECT_EQ(TakeText(Call(CallMethodText, {ObjectArg(script.get()), TextArg("Eval"), TextArg("m.Value + '!'")})),
              "b2!");

    // A failed object read still hands back a holder, an empty one.
    CommandResult missing = Call(ReadPropertyObject, {ObjectArg(collection.get()), TextArg("Item"), MakeIntArg(9)});
    OwnedHolder none(static_cast<ObjectHolder*>(missing.ptr));
    ASSERT_NE(none.get(), nullptr);
    EXPECT_EQ(none->object, nullptr);
    EXPECT_NE(LastObjectCallStatus(), kCallOk);
}

// CreateTextFile(FileName, [Overwrite = true], [Unicode = false]): an
// omitted Overwrite between given arguments must reach the object as "not
// given", so the default applies and an existing file is replaced.
TEST_F(ObjectCommandsTest, OmittedMiddleArgumentTakesTheMembersDefault) {
    char directory[MAX_PATH];
    ASSERT_GT(GetTempPathA(MAX_PATH, directory), 0u);
    std::string path = std::string(directory) + "sl_com_omitted.txt";
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("old", f);
    std::fclose(f);

    OwnedHolder files = Create("Scripting.FileSystemObject");
    ASSERT_NE(files->object, nullptr);
    CommandResult created = Call(CallMethodObject, {ObjectArg(files.get()), TextArg("CreateTextFile"),
                                                    TextArg(path.c_str()), OmittedArg(), MakeBoolArg(true)});
    EXPECT_EQ(LastObjectCallStatus(), kCallOk);
    OwnedHolder stream(static_cast<ObjectHolder*>(created.ptr));
    ASSERT_NE(stream->object, nullptr);
    Call(CallMethod, {ObjectArg(stream.get()), TextArg("Write"), TextArg("\xD6\xD0")});
    Call(CallMethod, {ObjectArg(stream.get()), TextArg("Close")});

    f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    unsigned char bytes[8] = {};
    size_t n = std::fread(bytes, 1, sizeof bytes, f);
    std::fclose(f);
    std::remove(path.c_str());
    // Unicode (the third argument) with a byte-order mark, then U+4E2D.
    ASSERT_EQ(n, 4u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFE);
    EXPECT_EQ(bytes[2], 0x2D);
    EXPECT_EQ(bytes[3], 0x4E);

    // Trailing omitted arguments are dropped before counting.
    Call(CallMethodText,
         {ObjectArg(files.get()), TextArg("GetFileName"), TextArg("c:\\a\\b.txt"), OmittedArg(), OmittedArg()});
    EXPECT_EQ(LastObjectCallStatus(), kCallOk);
}

// A member with a variable argument list called with none of its variable
// arguments, and with some.
TEST_F(ObjectCommandsTest, VariableArgumentLists) {
    OwnedHolder script = Create("ScriptControl");
    ASSERT_EQ(Call(WriteProperty, {ObjectArg(script.get()), TextArg("Language"), TextArg("JScript")}).low, 1u);
    Call(CallMethod, {ObjectArg(script.get()), TextArg("AddCode"),
                      TextArg("function f(a, b) { return 'f:' + arguments.length + ':' + (a || '') + (b || ''); }")});
    ASSERT_EQ(LastObjectCallStatus(), kCallOk);
    std::string none = TakeText(Call(CallMethodText, {ObjectArg(script.get()), TextArg("Run"), TextArg("f")}));
    EXPECT_EQ(LastObjectCallStatus(), kCallOk);
    EXPECT_EQ(none.substr(0, 2), "f:") << "called, with no argument or an empty one";
    EXPECT_EQ(none.substr(none.size() - 1), ":");
    EXPECT_EQ(TakeText(Call(CallMethodText, {ObjectArg(script.get()), TextArg("Run"), TextArg("f"), TextArg("x")})),
              "f:1:x");
    EXPECT_EQ(LastObjectCallStatus(), kCallOk);
}

TEST_F(ObjectCommandsTest, MemberCallsLeaveNoBlocksBehind) {
    OwnedHolder regexp = Create(kRegExp);
    HeapBalance balance;
    for (int i = 0; i < 50; ++i) {
        Call(WriteProperty, {ObjectArg(regexp.get()), TextArg("Pattern"), TextArg("\xD6\xD0+")});
        TakeText(Call(ReadPropertyText, {ObjectArg(regexp.get()), TextArg("Pattern")}));
        CommandResult m = Call(CallMethodObject, {ObjectArg(regexp.get()), TextArg("Execute"), TextArg("\xD6\xD0")});
        FreeObjectHolder(static_cast<ObjectHolder*>(m.ptr));
        TakeText(Call(CallMethodText, {ObjectArg(regexp.get()), TextArg("NoSuchMember")}));
    }
    EXPECT_EQ(balance.Delta(), 0);
}

} // namespace
