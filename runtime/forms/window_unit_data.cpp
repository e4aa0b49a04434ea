#include "runtime/forms/window_unit_data.h"

#include "runtime/units/unit_data_cursor.h"

bool ReadWindowUnitData(const uint8_t* data, size_t size, WindowUnitData& out)
{
    out = WindowUnitData{};
    if (size == 0) return true;
    FieldReader c(data, size);
    uint32_t version;
    if (!c.ReadU32(version) || version > kWindowDataVersion) return false;
    WindowUnitData d;
    bool ok = c.ReadU32(d.borderStyle) && c.ReadU32(d.pictureMode) && c.ReadU32(d.backColor) && c.ReadU32(d.maxBox) &&
              c.ReadU32(d.minBox) && c.ReadU32(d.controlBox) && c.ReadU32(d.startPosition) && c.ReadU32(d.movable) &&
              c.ReadU32(d.musicMode) && c.ReadU32(d.word13) && c.ReadU32(d.word14) && c.ReadU32(d.word15) &&
              c.ReadU32(d.word17);
    if (ok && version >= 2) ok = c.ReadU32(d.inTaskBar);
    if (ok && version >= 3) ok = c.ReadU32(d.word19) && c.ReadU32(d.word20);
    if (ok && version >= 4) ok = c.ReadU32(d.topmost);
    if (ok && version >= 5) ok = c.ReadU32(d.word22);
    if (ok && version == 6) ok = c.ReadCountedText(d.className);
    ok = ok && c.ReadCountedBytes(d.picture) && c.ReadCountedBytes(d.icon) && c.ReadCountedBytes(d.music) &&
         c.ReadCountedText(d.title) && c.ReadCountedText(d.text16);
    if (!ok) return false;
    out = std::move(d);
    return true;
}

std::vector<uint8_t> WriteWindowUnitData(const WindowUnitData& d)
{
    ByteWriter w;
    w.U32(kWindowDataVersion);
    for (uint32_t v :
         {d.borderStyle, d.pictureMode, d.backColor, d.maxBox, d.minBox, d.controlBox, d.startPosition, d.movable,
          d.musicMode, d.word13, d.word14, d.word15, d.word17, d.inTaskBar, d.word19, d.word20, d.topmost, d.word22})
        w.U32(v);
    w.CountedText(d.className);
    w.Counted(d.picture);
    w.Counted(d.icon);
    w.Counted(d.music);
    w.CountedText(d.title);
    w.CountedText(d.text16);
    return std::move(w.bytes);
}
