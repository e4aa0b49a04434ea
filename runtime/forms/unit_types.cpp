#include "runtime/forms/unit_types.h"

#include <array>
#include <cstddef>

namespace {

// GBK names.
#define SL_GENERIC_PROPERTIES                                                   \
    {"\xD7\xF3\xB1\xDF", "left", nullptr, kPropInt, 0},                         \
    {"\xB6\xA5\xB1\xDF", "top", nullptr, kPropInt, 0},                          \
    {"\xBF\xED\xB6\xC8", "width", nullptr, kPropInt, 0},                        \
    {"\xB8\xDF\xB6\xC8", "height", nullptr, kPropInt, 0},                       \
    {"\xB1\xEA\xBC\xC7", "tag", nullptr, kPropText, 0},                         \
    {"\xBF\xC9\xCA\xD3", "visible", nullptr, kPropBool, 0},                     \
    {"\xBD\xFB\xD6\xB9", "disable", nullptr, kPropBool, 0},                     \
    {"\xCA\xF3\xB1\xEA\xD6\xB8\xD5\xEB", "MousePointer", nullptr, kPropMousePointer, 0}

// Own properties carry only their type codes: the value conversion of the
// property services is all that reads them.
#define SL_PROP(code) {nullptr, nullptr, nullptr, code, 0}

constexpr uint32_t kPropSound = 1010;
constexpr uint32_t kPropIcon = 1012;

PropertyDescriptor gWindowProperties[] = {
    SL_GENERIC_PROPERTIES,
    SL_PROP(kPropText),    SL_PROP(kPropChoice), SL_PROP(kPropInt),    SL_PROP(kPropPicture),  // 0..3
    SL_PROP(kPropChoice),  SL_PROP(kPropSound),  SL_PROP(kPropChoice), SL_PROP(kPropBool),     // 4..7
    SL_PROP(kPropBool),    SL_PROP(kPropBool),   SL_PROP(kPropChoice), SL_PROP(kPropBool),     // 8..11
    SL_PROP(kPropIcon),    SL_PROP(kPropInt),    SL_PROP(kPropBool),   SL_PROP(kPropInt),      // 12..15
    SL_PROP(kPropText),    SL_PROP(kPropInt),    SL_PROP(kPropBool),   SL_PROP(kPropInt),      // 16..19
    SL_PROP(kPropInt),     SL_PROP(kPropBool),   SL_PROP(kPropInt),    SL_PROP(kPropText),     // 20..23
};

PropertyDescriptor gEditBoxProperties[] = {
    SL_GENERIC_PROPERTIES,
    SL_PROP(kPropText),   SL_PROP(kPropChoice), SL_PROP(kPropInt),    SL_PROP(kPropInt),     // 0..3
    SL_PROP(kPropFont),   SL_PROP(kPropBool),   SL_PROP(kPropInt),    SL_PROP(kPropBool),    // 4..7
    SL_PROP(kPropChoice), SL_PROP(kPropChoice), SL_PROP(kPropChoice), SL_PROP(kPropInt),     // 8..11
    SL_PROP(kPropChoice), SL_PROP(kPropChoice), SL_PROP(kPropInt),    SL_PROP(kPropInt),     // 12..15
    SL_PROP(kPropInt),    SL_PROP(kPropInt),    SL_PROP(kPropText),   SL_PROP(kPropText),    // 16..19
    SL_PROP(kPropText),                                                                      // 20
};

PropertyDescriptor gPicBoxProperties[] = {
    SL_GENERIC_PROPERTIES,
    SL_PROP(kPropChoice), SL_PROP(kPropInt),  SL_PROP(kPropPicture), SL_PROP(kPropChoice),  // 0..3
    SL_PROP(kPropBool),   SL_PROP(kPropText), SL_PROP(kPropText),                           // 4..6
};

PropertyDescriptor gLabelProperties[] = {
    SL_GENERIC_PROPERTIES,
    SL_PROP(kPropText),   SL_PROP(kPropChoice),  SL_PROP(kPropChoice), SL_PROP(kPropInt),     // 0..3
    SL_PROP(kPropInt),    SL_PROP(kPropInt),     SL_PROP(kPropInt),    SL_PROP(kPropFont),    // 4..7
    SL_PROP(kPropInt),    SL_PROP(kPropInt),     SL_PROP(kPropPicture), SL_PROP(kPropChoice), // 8..11
    SL_PROP(kPropChoice), SL_PROP(kPropInt),     SL_PROP(kPropInt),    SL_PROP(kPropInt),     // 12..15
    SL_PROP(kPropChoice), SL_PROP(kPropBool),    SL_PROP(kPropChoice), SL_PROP(kPropText),    // 16..19
    SL_PROP(kPropText),                                                                       // 20
};

PropertyDescriptor gButtonProperties[] = {
    SL_GENERIC_PROPERTIES,
    SL_PROP(kPropPicture), SL_PROP(kPropChoice), SL_PROP(kPropText),  // 0..2
    SL_PROP(kPropChoice),  SL_PROP(kPropChoice), SL_PROP(kPropFont),  // 3..5
};

PropertyDescriptor gHtmlViewerProperties[] = {
    SL_GENERIC_PROPERTIES,
    {"\xD7\xD6\xCC\xE5\xB4\xF3\xD0\xA1", "FontSize", nullptr, kPropChoice, 0},
    {"\xC0\xEB\xCF\xDF\xE4\xAF\xC0\xC0", "Offline", nullptr, kPropBool, 0},
    {"\xBE\xB2\xC4\xAC", "Silent", nullptr, kPropBool, 0},
    {"\xB5\xD8\xD6\xB7", "url", nullptr, kPropUrl, 0},
    {"\xD7\xB4\xCC\xAC\xCC\xF5\xCE\xC4\xB1\xBE", "StatusText", nullptr, kPropText, 0},
    {"\xB1\xEA\xCC\xE2", "Caption", nullptr, kPropText, 0},
    {"\xD4\xCA\xD0\xED\xC9\xE8\xBC\xC6\xCA\xB1\xD4\xA4\xC0\xC0", "PreviewInDesignMode", nullptr, kPropBool, 0},
};

#undef SL_PROP
#undef SL_GENERIC_PROPERTIES

template <size_t N>
constexpr uint32_t Count(const PropertyDescriptor (&)[N])
{
    return static_cast<uint32_t>(N);
}

constexpr UnitTypeDescriptor Type(const char* name, const char* english, uint32_t flags, uint32_t count,
                                  const PropertyDescriptor* props)
{
    return UnitTypeDescriptor{name, english, nullptr, 0, 0, flags, 0, 0, 0, count, props, nullptr, 0, 0};
}

// Core library: type number k at index k - 1; "对象" and "变体型" sit at the
// numbers of TYPE_OBJECT and TYPE_VARIANT.
// Built at compile time, so that no start-up order can undo an interface a
// unit module has plugged in.
constexpr uint32_t kCoreTypeCount = 0x31;
using CoreTypeTable = std::array<UnitTypeDescriptor, kCoreTypeCount>;

constexpr CoreTypeTable MakeCoreTypes()
{
    CoreTypeTable types{};
    types[0] = Type("\xB4\xB0\xBF\xDA", "window", 0x800000D0, Count(gWindowProperties), gWindowProperties);
    types[2] = Type("\xB2\xCB\xB5\xA5", "Menu", kTypeRaisesEvents, 0, nullptr);
    types[4] = Type("\xB1\xE0\xBC\xAD\xBF\xF2", "EditBox", 0x80000040, Count(gEditBoxProperties),
                         gEditBoxProperties);
    types[5] = Type("\xCD\xBC\xC6\xAC\xBF\xF2", "PicBox", 0x840100C0, Count(gPicBoxProperties),
                         gPicBoxProperties);
    types[9] = Type("\xB1\xEA\xC7\xA9", "Label", 0x84012040, Count(gLabelProperties), gLabelProperties);
    types[10] = Type("\xB0\xB4\xC5\xA5", "Button", 0x80000840, Count(gButtonProperties), gButtonProperties);
    types[0x30 - 1] = Type("\xB6\xD4\xCF\xF3", "ComObject", 0, 0, nullptr);
    types[0x31 - 1] = Type("\xB1\xE4\xCC\xE5\xD0\xCD", "Variant", 0, 0, nullptr);
    return types;
}

CoreTypeTable gCoreTypes = MakeCoreTypes();
UnitTypeDescriptor gHtmlTypes[1] = {Type("\xB3\xAC\xCE\xC4\xB1\xBE\xE4\xAF\xC0\xC0\xBF\xF2", "HtmlViewer",
                                         0x00000040, Count(gHtmlViewerProperties), gHtmlViewerProperties)};

const LibraryDescriptor kCoreLibrary = {
    kLibraryFormatMarker, "5E3C1A7D09B84F26A1D3C5E7F9024B68", 3, 6,
    "\xCF\xB5\xCD\xB3\xBA\xCB\xD0\xC4\xD6\xA7\xB3\xD6\xBF\xE2", kCoreTypeCount, gCoreTypes.data(), 0, nullptr, nullptr};
const LibraryDescriptor kSpecialLibrary = {
    kLibraryFormatMarker, "A4F1E0C2B7D6481395E8C3A2D1F07B64", 3, 6,
    "\xCC\xD8\xCA\xE2\xB9\xA6\xC4\xDC\xD6\xA7\xB3\xD6\xBF\xE2", 0, nullptr, 0, nullptr, nullptr};
const LibraryDescriptor kHtmlLibrary = {
    kLibraryFormatMarker, "0D7B2E94C1A6435F8E2B9C0A7D3F6E15", 2, 1,
    "\xB3\xAC\xCE\xC4\xB1\xBE\xE4\xAF\xC0\xC0\xBF\xF2\xD6\xA7\xB3\xD6\xBF\xE2", 1, gHtmlTypes, 0, nullptr, nullptr};

const LibraryDescriptor* const kProgramLibraries[] = {&kCoreLibrary, &kSpecialLibrary, &kHtmlLibrary};

const LibraryDescriptor* const* gLibraries = kProgramLibraries;
uint32_t gLibraryCount = 3;

UnitTypeDescriptor* OwnType(UnitTypeId id)
{
    uint32_t lib = LibraryNumberOf(id), type = TypeNumberOf(id);
    if (lib == 1 && type >= 1 && type <= kCoreTypeCount) return &gCoreTypes[type - 1];
    if (lib == 3 && type == 1) return &gHtmlTypes[0];
    return nullptr;
}

}  // namespace

const LibraryDescriptor* const* ProgramLibraries() { return kProgramLibraries; }
uint32_t ProgramLibraryCount() { return 3; }

void SetUnitLibraries(const LibraryDescriptor* const* libraries, uint32_t count)
{
    gLibraries = libraries ? libraries : kProgramLibraries;
    gLibraryCount = libraries ? count : 3;
}

bool SetUnitInterface(UnitTypeId type, UnitInterfaceFn entry)
{
    UnitTypeDescriptor* d = OwnType(type);
    if (!d || !d->name) return false;
    d->unitInterface = entry;
    return true;
}

const UnitTypeDescriptor* FindUnitType(UnitTypeId id)
{
    const int32_t signedId = static_cast<int32_t>(id);
    if (id == 0 || signedId < -0x40000000 || signedId >= 0x40000000) return nullptr;
    const uint32_t lib = LibraryNumberOf(id), type = TypeNumberOf(id);
    if (lib < 1 || lib > gLibraryCount || !gLibraries[lib - 1]) return nullptr;
    const LibraryDescriptor* d = gLibraries[lib - 1];
    if (type < 1 || type > d->unitTypeCount || !d->unitTypes) return nullptr;
    const UnitTypeDescriptor* t = &d->unitTypes[type - 1];
    return t->name ? t : nullptr;
}
