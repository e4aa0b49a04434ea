// Unit-type data of the window and the units: any bytes either fail to read
// or read into values that write back and read again to the same bytes.
#include "runtime/forms/window_unit_data.h"
#include "runtime/units/unit_data.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

template <typename Data>
void RoundTrip(const uint8_t* data, size_t size, bool (*read)(const uint8_t*, size_t, Data&),
               std::vector<uint8_t> (*write)(const Data&))
{
    Data first;
    if (!read(data, size, first)) return;
    const std::vector<uint8_t> bytes = write(first);
    Data second;
    if (!read(bytes.data(), bytes.size(), second)) std::abort();
    if (write(second) != bytes) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const uint8_t kind = data[0] % 6;
    ++data;
    --size;
    switch (kind) {
    case 0:
        RoundTrip<WindowUnitData>(data, size, ReadWindowUnitData, WriteWindowUnitData);
        break;
    case 1:
        RoundTrip<LabelData>(data, size, ReadLabelData, WriteLabelData);
        break;
    case 2:
        RoundTrip<ButtonData>(data, size, ReadButtonData, WriteButtonData);
        break;
    case 3:
        RoundTrip<EditBoxData>(data, size, ReadEditBoxData, WriteEditBoxData);
        break;
    case 4:
        RoundTrip<PictureBoxData>(data, size, ReadPictureBoxData, WritePictureBoxData);
        break;
    default:
        RoundTrip<HtmlViewerData>(data, size, ReadHtmlViewerData, WriteHtmlViewerData);
        break;
    }
    return 0;
}
