// The stored properties of a window (the unit-type data of entry 0 of its
// unit list). Versions 0..6 are read; writing always produces version 6.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t kWindowDataVersion = 6;

struct WindowUnitData {
    uint32_t borderStyle = 2;  // 0 none .. 6 fixed with sunken client edge
    uint32_t pictureMode = 1;  // 0 natural, 1 tiled, 2 fitted and centred, 3 stretched
    uint32_t backColor = 0xFF000000;
    uint32_t maxBox = 0;
    uint32_t minBox = 1;
    uint32_t controlBox = 1;
    uint32_t startPosition = 1;  // 0 normal, 1 centred, 2 minimised, 3 maximised
    uint32_t movable = 1;
    uint32_t musicMode = 0;
    uint32_t word13 = 0, word14 = 1, word15 = 0, word17 = 0;  // carried, no effect
    uint32_t inTaskBar = 1;
    uint32_t word19 = 0, word20 = 0;
    uint32_t topmost = 0;
    uint32_t word22 = 0;
    std::string className;  // empty: "WTWindow"
    std::vector<uint8_t> picture;
    std::vector<uint8_t> icon;
    std::vector<uint8_t> music;
    std::string title;  // GBK
    std::string text16;
};

// Length 0 gives every default. False on a version above 6 or cut-off data.
bool ReadWindowUnitData(const uint8_t* data, size_t size, WindowUnitData& out);
std::vector<uint8_t> WriteWindowUnitData(const WindowUnitData& data);
