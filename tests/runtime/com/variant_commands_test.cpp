// Variant blocks: storing runtime values, converting to text, copying and
// clearing; and by-reference arguments written back after a member call.
#include "tests/runtime/com/by_reference_object.h"
#include "tests/runtime/com/com_test_util.h"
#include "tests/support/heap_balance.h"

#include <oleauto.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using VariantCommandsTest = ComTest;

VARIANT* AsVariant(void* block) {
    return static_cast<VARIANT*>(block);
}

std::string TextOfVariant(VARIANT* v, ArgRecord index = OmittedArg()) {
    return TakeText(Call(VariantToText, {VariantArg(v), index}));
}

// A 2 x 3 safe array of longs, first dimension from 1, second from 0, whose
// element (i, j) holds i * 10 + j.
SAFEARRAY* NewGrid() {
    SAFEARRAYBOUND bounds[2] = {{2, 1}, {3, 0}};
    SAFEARRAY* grid = SafeArrayCreate(VT_I4, 2, bounds);
    for (LONG i = 1; i <= 2; ++i) {
        for (LONG j = 0; j <= 2; ++j) {
            LONG at[2] = {i, j};
            LONG value = i * 10 + j;
            SafeArrayPutElement(grid, at, &value);
        }
    }
    return grid;
}

// The text of a number written with "." as it reads in the user's locale:
// numbers become texts by the user default locale (Windows' variant
// conversion), so under German or Turkish settings 1.5 reads "1,5". The
// separator comes as the texts do, in code page 936.
std::string InUserLocale(const char* number) {
    wchar_t separator[8] = {};
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8) <= 0)
        return number;
    char bytes[32] = {};
    WideCharToMultiByte(936, 0, separator, -1, bytes, sizeof bytes, nullptr, nullptr);
    std::string text = number;
    const size_t dot = text.find('.');
    return dot == std::string::npos ? text : text.replace(dot, 1, bytes);
}

TEST_F(VariantCommandsTest, VariantToTextOfSingleValues) {
    struct Case {
        const char* what;
        VARTYPE type;
        void (*fill)(VARIANT*);
        std::string expected;
    };
    const Case cases[] = {
        {"empty", VT_EMPTY, [](VARIANT*) {}, ""},
        {"null", VT_NULL, [](VARIANT*) {}, ""},
        {"long", VT_I4, [](VARIANT* v) { V_I4(v) = -42; }, "-42"},
        {"double", VT_R8, [](VARIANT* v) { V_R8(v) = 1.5; }, InUserLocale("1.5")},
        // The regular-expression object tells case-sensitivity by this text.
        {"false", VT_BOOL, [](VARIANT* v) { V_BOOL(v) = VARIANT_FALSE; }, "0"},
        {"chinese", VT_BSTR, [](VARIANT* v) { V_BSTR(v) = SysAllocString(L"\u4e2d\u6587"); }, "\xD6\xD0\xCE\xC4"},
        {"empty string", VT_BSTR, [](VARIANT* v) { V_BSTR(v) = SysAllocString(L""); }, ""},
    };
    for (const Case& c : cases) {
        VARIANT v;
        VariantInit(&v);
        V_VT(&v) = c.type;
        c.fill(&v);
        EXPECT_EQ(TextOfVariant(&v), c.expected) << c.what;
        VariantClear(&v);
    }

    LONG referenced = 7;
    VARIANT byReference;
    V_VT(&byReference) = VT_BYREF | VT_I4;
    V_I4REF(&byReference) = &referenced;
    EXPECT_EQ(TextOfVariant(&byReference), "7");
}

TEST_F(VariantCommandsTest, VariantToTextWalksMultiDimensionalArraysFirstDimensionFastest) {
    VARIANT grid;
    V_VT(&grid) = VT_ARRAY | VT_I4;
    V_ARRAY(&grid) = NewGrid();
    struct Case {
        int32_t flatIndex;
        const char* expected;
    };
    const Case cases[] = {{1, "10"}, {2, "20"}, {3, "11"}, {4, "21"}, {6, "22"}, {7, ""}, {0, ""}, {-1, ""}};
    for (const Case& c : cases) {
        EXPECT_EQ(TextOfVariant(&grid, MakeIntArg(c.flatIndex)), c.expected) << c.flatIndex;
    }
    EXPECT_EQ(TextOfVariant(&grid), "") << "an array without an element index";

    // The same array reached by reference.
    VARIANT reference;
    V_VT(&reference) = VT_BYREF | VT_ARRAY | VT_I4;
    V_ARRAYREF(&reference) = &V_ARRAY(&grid);
    EXPECT_EQ(TextOfVariant(&reference, MakeIntArg(5)), "12");
    VariantClear(&grid);
}

TEST_F(VariantCommandsTest, SetVariantStoresSingleValuesByTheMappingTable) {
    OwnedVariant block(NewVariantBlock());
    VARIANT* v = AsVariant(block.get());

    struct Case {
        const char* what;
        ArgRecord value;
        VARTYPE type;
        std::string text;
    };
    const Case cases[] = {
        {"int", MakeIntArg(-5), VT_I4, "-5"},
        {"long keeps its low 32 bits", MakeLongArg(0x100000007LL), VT_I4, "7"},
        {"double", MakeDoubleArg(2.25), VT_R8, InUserLocale("2.25")},
        {"bool", MakeBoolArg(true), VT_BOOL, "-1"},
        {"text", TextArg("\xD6\xD0\xCE\xC4"), VT_BSTR, "\xD6\xD0\xCE\xC4"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Call(SetVariant, {VariantArg(v), c.value}).low, 1u) << c.what;
        EXPECT_EQ(V_VT(v), c.type) << c.what;
        EXPECT_EQ(TextOfVariant(v), c.text) << c.what;
    }
    EXPECT_EQ(std::wstring(V_BSTR(v)), L"\u4e2d\u6587");

    OwnedHolder regexp = Create("VBScript.RegExp");
    ULONG before = RefCount(regexp->object);
    ASSERT_EQ(Call(SetVariant, {VariantArg(v), ObjectArg(regexp.get())}).low, 1u);
    EXPECT_EQ(V_VT(v), VT_UNKNOWN);
    EXPECT_EQ(RefCount(regexp->object), before + 1);
    Call(ClearVariant, {VariantArg(v)});
    EXPECT_EQ(RefCount(regexp->object), before);
    EXPECT_EQ(V_VT(v), VT_EMPTY);

    // A value without an automation form leaves the variant empty.
    ArgRecord window{};
    window.type = TYPE_WINDOW;
    EXPECT_EQ(Call(SetVariant, {VariantArg(v), window}).low, 0u);
    EXPECT_EQ(V_VT(v), VT_EMPTY);
}

TEST_F(VariantCommandsTest, SetVariantStoresByteSetsAndArraysAsSafeArrays) {
    OwnedVariant block(NewVariantBlock());
    VARIANT* v = AsVariant(block.get());

    const uint8_t bytes[] = {0x00, 0xD6, 0xD0, 0xFF};
    ByteSet bytesValue = CopyBytesAsByteSet(bytes, sizeof bytes);
    ASSERT_EQ(Call(SetVariant, {VariantArg(v), MakePointerArg(bytesValue, TYPE_BYTESET)}).low, 1u);
    RuntimeFree(bytesValue);
    ASSERT_EQ(V_VT(v), VT_ARRAY | VT_UI1);
    LONG lower = -1, upper = -1;
    SafeArrayGetLBound(V_ARRAY(v), 1, &lower);
    SafeArrayGetUBound(V_ARRAY(v), 1, &upper);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 3);
    EXPECT_EQ(std::memcmp(V_ARRAY(v)->pvData, bytes, sizeof bytes), 0);

    // The empty byte set is an empty array, not an empty variant.
    ASSERT_EQ(Call(SetVariant, {VariantArg(v), MakePointerArg(nullptr, TYPE_BYTESET)}).low, 1u);
    EXPECT_EQ(V_VT(v), VT_ARRAY | VT_UI1);
    EXPECT_EQ(V_ARRAY(v)->rgsabound[0].cElements, 0u);

    // A 2 x 2 runtime array of ints becomes four longs in row order.
    auto* grid = static_cast<uint8_t*>(RuntimeAlloc(12 + 16));
    const uint32_t header[3] = {2, 2, 2};
    const int32_t values[4] = {1, -2, 3, 4};
    std::memcpy(grid, header, sizeof header);
    std::memcpy(grid + 12, values, sizeof values);
    ASSERT_EQ(Call(SetVariant, {VariantArg(v), MakePointerArg(grid, TYPE_INT | TYPE_ARRAY_FLAG)}).low, 1u);
    RuntimeFree(grid);
    ASSERT_EQ(V_VT(v), VT_ARRAY | VT_I4);
    EXPECT_EQ(V_ARRAY(v)->rgsabound[0].cElements, 4u);
    EXPECT_EQ(TextOfVariant(v, MakeIntArg(2)), "-2");

    // Texts become strings, each converted.
    ArrayBlock texts = NewArray(2, sizeof(char*));
    char* parts[2] = {CopyText("a"), CopyText("\xCE\xC4")};
    std::memcpy(ArrayElementData(texts), parts, sizeof parts);
    ASSERT_EQ(Call(SetVariant, {VariantArg(v), MakePointerArg(texts, TYPE_TEXT | TYPE_ARRAY_FLAG)}).low, 1u);
    FreeArrayValue(texts, TYPE_TEXT);
    ASSERT_EQ(V_VT(v), VT_ARRAY | VT_BSTR);
    EXPECT_EQ(TextOfVariant(v, MakeIntArg(2)), "\xCE\xC4");
}

TEST_F(VariantCommandsTest, SetVariantIntoOneElement) {
    OwnedVariant block(NewVariantBlock());
    VARIANT* v = AsVariant(block.get());
    V_VT(v) = VT_ARRAY | VT_I4;
    V_ARRAY(v) = NewGrid();

    EXPECT_EQ(Call(SetVariant, {VariantArg(v), TextArg("99"), MakeIntArg(4)}).low, 1u);
    EXPECT_EQ(TextOfVariant(v, MakeIntArg(4)), "99");
    EXPECT_EQ(Call(SetVariant, {VariantArg(v), MakeDoubleArg(3.75), MakeIntArg(1)}).low, 1u);
    EXPECT_EQ(TextOfVariant(v, MakeIntArg(1)), "4");
    EXPECT_EQ(Call(SetVariant, {VariantArg(v), TextArg("not a number"), MakeIntArg(1)}).low, 0u);
    EXPECT_EQ(Call(SetVariant, {VariantArg(v), MakeIntArg(1), MakeIntArg(7)}).low, 0u) << "past the last element";
    const uint8_t one = 1;
    ByteSet bytes = CopyBytesAsByteSet(&one, 1);
    EXPECT_EQ(Call(SetVariant, {VariantArg(v), MakePointerArg(bytes, TYPE_BYTESET), MakeIntArg(1)}).low, 0u)
        << "an array only goes into a variant element";

    // A variant array takes anything, a byte set included.
    VariantClear(v);
    V_VT(v) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(v) = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    EXPECT_EQ(Call(SetVariant, {VariantArg(v), MakePointerArg(bytes, TYPE_BYTESET), MakeIntArg(2)}).low, 1u);
    EXPECT_EQ(Call(SetVariant, {VariantArg(v), TextArg("\xD6\xD0"), MakeIntArg(1)}).low, 1u);
    EXPECT_EQ(TextOfVariant(v, MakeIntArg(1)), "\xD6\xD0");
    RuntimeFree(bytes);

    // A variant without an array has no elements.
    VariantClear(v);
    V_VT(v) = VT_I4;
    EXPECT_EQ(Call(SetVariant, {VariantArg(v), MakeIntArg(1), MakeIntArg(1)}).low, 0u);
}

TEST_F(VariantCommandsTest, CopyAndClear) {
    OwnedVariant source(NewVariantBlock());
    OwnedVariant copy(NewVariantBlock());
    ASSERT_EQ(Call(SetVariant, {VariantArg(source.get()), TextArg("\xD6\xD0")}).low, 1u);
    Call(CopyVariant, {VariantArg(copy.get()), VariantArg(source.get())});
    ASSERT_EQ(V_VT(AsVariant(copy.get())), VT_BSTR);
    EXPECT_NE(V_BSTR(AsVariant(copy.get())), V_BSTR(AsVariant(source.get()))) << "a deep copy";
    EXPECT_EQ(TextOfVariant(AsVariant(copy.get())), "\xD6\xD0");

    Call(ClearVariant, {VariantArg(copy.get())});
    const uint8_t zero[16] = {};
    EXPECT_EQ(std::memcmp(copy.get(), zero, 16), 0);
    EXPECT_EQ(TextOfVariant(AsVariant(source.get())), "\xD6\xD0");
}

TEST_F(VariantCommandsTest, VariantCommandsLeaveNoBlocksBehind) {
    OwnedVariant block(NewVariantBlock());
    HeapBalance balance;
    for (int i = 0; i < 50; ++i) {
        Call(SetVariant, {VariantArg(block.get()), TextArg("\xD6\xD0\xCE\xC4")});
        TakeText(Call(VariantToText, {VariantArg(block.get())}));
        OwnedVariant copy(NewVariantBlock());
        Call(CopyVariant, {VariantArg(copy.get()), VariantArg(block.get())});
    }
    EXPECT_EQ(balance.Delta(), 0);
}

// Arguments passed by reference from the caller's variables come back with
// what the member wrote, converted to the variables' own types; an input-only
// by-reference parameter and an argument passed by value are left alone.
TEST_F(VariantCommandsTest, ByReferenceOutputsAreWrittenBack) {
    OwnedHolder target(NewObjectHolder());
    target->object = NewByReferenceObject();
    ASSERT_NE(target->object, nullptr);

    HeapBalance balance;
    char* text = CopyText("old");
    double number = 40.0; // a double variable for a long parameter
    void* any = NewVariantBlock();
    char* source = CopyText("\xD6\xD0");
    const char* sourceBefore = source;
    Call(CallMethod, {ObjectArg(target.get()), TextArg("Exchange"), ByReference(&text, TYPE_TEXT),
                      ByReference(&number, TYPE_DOUBLE), ByReference(&any, TYPE_VARIANT),
                      ByReference(&source, TYPE_TEXT), MakeIntArg(2)});
    EXPECT_EQ(LastObjectCallStatus(), kCallOk);
    EXPECT_EQ(AsString(text), "\xD6\xD0!");
    EXPECT_EQ(number, 42.0);
    EXPECT_EQ(V_VT(AsVariant(any)), VT_BSTR);
    EXPECT_EQ(TextOfVariant(AsVariant(any)), "\xB1\xE4"); // 变
    EXPECT_EQ(source, sourceBefore);
    EXPECT_EQ(AsString(source), "\xD6\xD0");

    // By value, nothing can come back.
    Call(CallMethod, {ObjectArg(target.get()), TextArg("Exchange"), TextArg("v"), MakeIntArg(1), VariantArg(any),
                      TextArg("s"), MakeIntArg(2)});
    EXPECT_EQ(LastObjectCallStatus(), kCallOk);
    EXPECT_EQ(AsString(text), "\xD6\xD0!");

    RuntimeFree(text);
    RuntimeFree(source);
    FreeVariantBlock(any);
    EXPECT_EQ(balance.Delta(), 0) << "the old text was freed when the new one was stored";

    // One argument too many for a member without a variable list.
    Call(CallMethod, {ObjectArg(target.get()), TextArg("Exchange"), TextArg("1"), TextArg("2"), TextArg("3"),
                      TextArg("4"), TextArg("5"), TextArg("6")});
    EXPECT_EQ(LastObjectCallStatus(), kCallTooManyArguments);
}

} // namespace
