// The stored property data of the label, button, edit box, picture box and
// HTML viewer. Each type reads a leading version word, refuses a version newer
// than its own and cut-off data, and takes every default for data of length 0.
// Writers always produce the newest version with every field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t kButtonFace = 0xFF000000;  // stands for the system button-face colour

struct LabelData {
    static constexpr uint32_t kVersion = 2;
    uint32_t textEffect = 0;  // 0 none, 1 raised, 2 sunken, 3 shadow
    uint32_t gradientBorderWidth = 8;
    uint32_t borderStyle = 0;  // 0..5 as BorderStyle, 6 gradient frame
    uint32_t borderColors[3] = {0x808080, 0xFFFFFF, 0x808080};
    uint32_t textColor = 0;
    uint32_t backColor = kButtonFace;
    uint32_t pictureMode = 1;  // 0 natural, 1 tiled, 2 fitted and centred
    uint32_t gradientMode = 0;
    uint32_t gradientColors[3] = {0x808080, 0xFFFFFF, 0x808080};
    uint32_t hAlign = 0;  // left, centre, right
    uint32_t vAlign = 1;  // top, centre, bottom
    uint32_t wordWrap = 0;
    std::vector<uint8_t> font;  // 60-byte LOGFONT or empty
    std::vector<uint8_t> picture;
    std::string caption = "\xb1\xea\xc7\xa9";  // "标签"
    std::string dataSource;
    std::string dataColumn;
};

struct ButtonData {
    static constexpr uint32_t kVersion = 1;
    uint32_t type = 0;  // 1 default push button
    uint32_t hAlign = 1;
    uint32_t vAlign = 1;
    std::vector<uint8_t> picture;
    std::vector<uint8_t> font;
    std::string caption = "\xb0\xb4\xc5\xa5";  // "按钮"
};

struct EditBoxData {
    static constexpr uint32_t kVersion = 2;
    uint32_t borderStyle = 1;
    uint32_t textColor = 0;
    uint32_t backColor = 0xFFFFFF;
    uint32_t hideSelection = 1;
    uint32_t maxLength = 0;
    uint32_t multiLine = 0;
    uint32_t scrollBars = 0;
    uint32_t alignment = 0;
    uint32_t inputMode = 0;  // 1 read-only, 2 password
    uint16_t passwordChar = 42;
    uint32_t letterCase = 0;  // 1 lower, 2 upper
    uint32_t spin = 0;
    uint32_t spinLower = 0;
    uint32_t spinUpper = 100;
    uint32_t selStart = 0;
    uint32_t selLength = 0;
    std::vector<uint8_t> font;
    std::string content;
    std::string dataSource;
    std::string dataColumn;
};

struct PictureBoxData {
    static constexpr uint32_t kVersion = 2;
    uint32_t borderStyle = 0;
    uint32_t backColor = kButtonFace;
    uint32_t displayMode = 0;  // 0 natural at top left, 1 stretched, 2 fitted and centred
    uint32_t playAnimation = 1;
    std::vector<uint8_t> picture;
    std::string dataSource;
    std::string dataColumn;
};

// The HTML viewer's own format: version, font size, offline, silent, preview
// in design mode, address.
struct HtmlViewerData {
    static constexpr uint32_t kVersion = 1;
    uint32_t fontSize = 2;  // 0 smallest .. 4 largest
    uint32_t offline = 0;
    uint32_t silent = 0;
    uint32_t previewInDesign = 0;
    std::string address;
};

bool ReadLabelData(const uint8_t* data, size_t size, LabelData& out);
bool ReadButtonData(const uint8_t* data, size_t size, ButtonData& out);
bool ReadEditBoxData(const uint8_t* data, size_t size, EditBoxData& out);
bool ReadPictureBoxData(const uint8_t* data, size_t size, PictureBoxData& out);
bool ReadHtmlViewerData(const uint8_t* data, size_t size, HtmlViewerData& out);

std::vector<uint8_t> WriteLabelData(const LabelData& d);
std::vector<uint8_t> WriteButtonData(const ButtonData& d);
std::vector<uint8_t> WriteEditBoxData(const EditBoxData& d);
std::vector<uint8_t> WritePictureBoxData(const PictureBoxData& d);
std::vector<uint8_t> WriteHtmlViewerData(const HtmlViewerData& d);
