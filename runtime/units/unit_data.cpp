#include "runtime/units/unit_data.h"

#include "runtime/forms/byte_stream.h"
#include "runtime/units/unit_data_cursor.h"

namespace {

// Reads the version word; empty data means defaults (returns false with
// `empty` set). A version above `newest` fails.
bool ReadVersion(FieldReader& c, size_t size, uint32_t newest, uint32_t& version, bool& empty)
{
    empty = size == 0;
    if (empty) return false;
    return c.ReadU32(version) && version <= newest;
}

}  // namespace

bool ReadLabelData(const uint8_t* data, size_t size, LabelData& out)
{
    out = LabelData{};
    FieldReader c(data, size);
    uint32_t version;
    bool empty;
    if (!ReadVersion(c, size, LabelData::kVersion, version, empty)) return empty;
    LabelData d;
    bool ok = c.ReadU32(d.textEffect) && c.ReadU32(d.gradientBorderWidth) && c.ReadU32(d.borderStyle) &&
              c.ReadU32(d.borderColors[0]) && c.ReadU32(d.borderColors[1]) && c.ReadU32(d.borderColors[2]) &&
              c.ReadU32(d.textColor) && c.ReadU32(d.backColor) && c.ReadU32(d.pictureMode) &&
              c.ReadU32(d.gradientMode) && c.ReadU32(d.gradientColors[0]) && c.ReadU32(d.gradientColors[1]) &&
              c.ReadU32(d.gradientColors[2]) && c.ReadU32(d.hAlign) && c.ReadU32(d.vAlign) && c.ReadU32(d.wordWrap) &&
              c.ReadCountedBytes(d.font) && c.ReadCountedBytes(d.picture) && c.ReadCountedText(d.caption);
    if (ok && version >= 2) ok = c.ReadCountedText(d.dataSource) && c.ReadCountedText(d.dataColumn);
    if (!ok) return false;
    out = std::move(d);
    return true;
}

std::vector<uint8_t> WriteLabelData(const LabelData& d)
{
    ByteWriter w;
    w.U32(LabelData::kVersion);
    for (uint32_t v : {d.textEffect, d.gradientBorderWidth, d.borderStyle, d.borderColors[0], d.borderColors[1],
                       d.borderColors[2], d.textColor, d.backColor, d.pictureMode, d.gradientMode, d.gradientColors[0],
                       d.gradientColors[1], d.gradientColors[2], d.hAlign, d.vAlign, d.wordWrap})
        w.U32(v);
    w.Counted(d.font);
    w.Counted(d.picture);
    w.CountedText(d.caption);
    w.CountedText(d.dataSource);
    w.CountedText(d.dataColumn);
    return std::move(w.bytes);
}

bool ReadButtonData(const uint8_t* data, size_t size, ButtonData& out)
{
    out = ButtonData{};
    FieldReader c(data, size);
    uint32_t version;
    bool empty;
    if (!ReadVersion(c, size, ButtonData::kVersion, version, empty)) return empty;
    ButtonData d;
    if (!(c.ReadU32(d.type) && c.ReadU32(d.hAlign) && c.ReadU32(d.vAlign) && c.ReadCountedBytes(d.picture) &&
          c.ReadCountedBytes(d.font) && c.ReadCountedText(d.caption)))
        return false;
    out = std::move(d);
    return true;
}

std::vector<uint8_t> WriteButtonData(const ButtonData& d)
{
    ByteWriter w;
    w.U32(ButtonData::kVersion);
    w.U32(d.type);
    w.U32(d.hAlign);
    w.U32(d.vAlign);
    w.Counted(d.picture);
    w.Counted(d.font);
    w.CountedText(d.caption);
    return std::move(w.bytes);
}

bool ReadEditBoxData(const uint8_t* data, size_t size, EditBoxData& out)
{
    out = EditBoxData{};
    FieldReader c(data, size);
    uint32_t version;
    bool empty;
    if (!ReadVersion(c, size, EditBoxData::kVersion, version, empty)) return empty;
    EditBoxData d;
    bool ok = c.ReadU32(d.borderStyle) && c.ReadU32(d.textColor) && c.ReadU32(d.backColor) &&
              c.ReadU32(d.hideSelection) && c.ReadU32(d.maxLength) && c.ReadU32(d.multiLine) &&
              c.ReadU32(d.scrollBars) && c.ReadU32(d.alignment) && c.ReadU32(d.inputMode) &&
              c.ReadU16(d.passwordChar) && c.ReadU32(d.letterCase) && c.ReadU32(d.spin) && c.ReadU32(d.spinLower) &&
              c.ReadU32(d.spinUpper) && c.ReadU32(d.selStart) && c.ReadU32(d.selLength) && c.ReadCountedBytes(d.font) &&
              c.ReadCountedText(d.content);
    if (ok && version >= 2) ok = c.ReadCountedText(d.dataSource) && c.ReadCountedText(d.dataColumn);
    if (!ok) return false;
    out = std::move(d);
    return true;
}

std::vector<uint8_t> WriteEditBoxData(const EditBoxData& d)
{
    ByteWriter w;
    w.U32(EditBoxData::kVersion);
    for (uint32_t v : {d.borderStyle, d.textColor, d.backColor, d.hideSelection, d.maxLength, d.multiLine, d.scrollBars,
                       d.alignment, d.inputMode})
        w.U32(v);
    const uint8_t password[2] = {static_cast<uint8_t>(d.passwordChar), static_cast<uint8_t>(d.passwordChar >> 8)};
    w.Raw(password, 2);
    for (uint32_t v : {d.letterCase, d.spin, d.spinLower, d.spinUpper, d.selStart, d.selLength}) w.U32(v);
    w.Counted(d.font);
    w.CountedText(d.content);
    w.CountedText(d.dataSource);
    w.CountedText(d.dataColumn);
    return std::move(w.bytes);
}

bool ReadPictureBoxData(const uint8_t* data, size_t size, PictureBoxData& out)
{
    out = PictureBoxData{};
    FieldReader c(data, size);
    uint32_t version;
    bool empty;
    if (!ReadVersion(c, size, PictureBoxData::kVersion, version, empty)) return empty;
    PictureBoxData d;
    bool ok = c.ReadU32(d.borderStyle) && c.ReadU32(d.backColor) && c.ReadU32(d.displayMode) &&
              c.ReadU32(d.playAnimation) && c.ReadCountedBytes(d.picture);
    if (ok && version >= 2) ok = c.ReadCountedText(d.dataSource) && c.ReadCountedText(d.dataColumn);
    if (!ok) return false;
    out = std::move(d);
    return true;
}

std::vector<uint8_t> WritePictureBoxData(const PictureBoxData& d)
{
    ByteWriter w;
    w.U32(PictureBoxData::kVersion);
    w.U32(d.borderStyle);
    w.U32(d.backColor);
    w.U32(d.displayMode);
    w.U32(d.playAnimation);
    w.Counted(d.picture);
    w.CountedText(d.dataSource);
    w.CountedText(d.dataColumn);
    return std::move(w.bytes);
}

bool ReadHtmlViewerData(const uint8_t* data, size_t size, HtmlViewerData& out)
{
    out = HtmlViewerData{};
    FieldReader c(data, size);
    uint32_t version;
    bool empty;
    if (!ReadVersion(c, size, HtmlViewerData::kVersion, version, empty)) return empty;
    HtmlViewerData d;
    if (!(c.ReadU32(d.fontSize) && c.ReadU32(d.offline) && c.ReadU32(d.silent) && c.ReadU32(d.previewInDesign) &&
          c.ReadCountedText(d.address)))
        return false;
    out = std::move(d);
    return true;
}

std::vector<uint8_t> WriteHtmlViewerData(const HtmlViewerData& d)
{
    ByteWriter w;
    w.U32(HtmlViewerData::kVersion);
    w.U32(d.fontSize);
    w.U32(d.offline);
    w.U32(d.silent);
    w.U32(d.previewInDesign);
    w.CountedText(d.address);
    return std::move(w.bytes);
}
