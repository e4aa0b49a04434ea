// The colour table of a GIF frame: the composed canvas of 24-bit colours
// becomes an 8-bit device-independent bitmap of at most 256 colours.
#pragma once

#include "runtime/pictures/picture.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace pictures {

// Canvas pixels are 0x00RRGGBB with this bit set when painted; 0 = not painted.
constexpr uint32_t kPainted = 0x01000000;

class ColourMap;
class NearestColour;

// The table holds every colour the canvas shows when they fit: 256 of them,
// or 255 when some pixels are not painted, which take a colour of their own
// that the frame reports as its transparent colour. When they do not fit (a
// frame over earlier frames of other colours), the colours the frame itself
// painted come first, then the canvas's most frequent other colours, and
// every colour left out is shown as its nearest table colour. A colour in the
// table is always shown as itself.
class FrameQuantiser {
public:
    FrameQuantiser();
    ~FrameQuantiser();
    FrameQuantiser(const FrameQuantiser&) = delete;
    FrameQuantiser& operator=(const FrameQuantiser&) = delete;

    // Makes frame.pixels (width x height, within `budget` bytes) and sets
    // frame.transparentColour. `ownColours` are the colours of the frame's
    // colour map it can paint (its transparent index left out; at most 256, as
    // a map holds), with kPainted set, in map order. False when the memory is
    // not there.
    bool Quantise(const std::vector<uint32_t>& canvas, int32_t width, int32_t height,
                  const std::vector<uint32_t>& ownColours, PictureFrame& frame, uint64_t budget);

private:
    void ChooseColours(const std::vector<uint32_t>& canvas, const std::vector<uint32_t>& ownColours, int room,
                       bool countsComplete);
    // The table index a canvas colour is shown with.
    uint8_t IndexOf(uint32_t colour);
    void Add(uint32_t colour);
    uint32_t PickUnusedColour() const;

    std::unique_ptr<ColourMap> counts_;  // canvas colour -> how many pixels show it
    // Canvas colour -> the table index it is shown with: each table colour from
    // the moment it is added, any other once its nearest entry was looked up.
    std::unique_ptr<ColourMap> shownAs_;
    std::unique_ptr<NearestColour> nearest_;
    uint32_t palette_[256] = {};
    int count_ = 0;
};

} // namespace pictures
