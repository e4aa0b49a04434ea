#include "runtime/pictures/frame_quantiser.h"

#include "runtime/pictures/picture_internal.h"

#include <algorithm>
#include <iterator>
#include <unordered_map>
#include <utility>

namespace pictures {

// Open-addressed map from a canvas colour to a 32-bit value; key 0 marks a free
// slot (canvas colours always carry kPainted). It fills at most half its slots,
// so every search ends quickly.
class ColourMap {
public:
    explicit ColourMap(int bits) : bits_(bits), keys_(size_t(1) << bits, 0u), values_(size_t(1) << bits, 0u) {}

    void Clear() {
        std::fill(keys_.begin(), keys_.end(), 0u);
        size_ = 0;
    }
    size_t size() const { return size_; }

    uint32_t* Find(uint32_t colour) {
        size_t i = Slot(colour);
        return keys_[i] == colour ? &values_[i] : nullptr;
    }
    // The value of `colour`, a new one of 0 if it was not there; null when it
    // was not there and the map is full.
    uint32_t* Insert(uint32_t colour) {
        size_t i = Slot(colour);
        if (keys_[i] != colour) {
            if (size_ >= keys_.size() / 2) {
                return nullptr;
            }
            keys_[i] = colour;
            values_[i] = 0;
            ++size_;
        }
        return &values_[i];
    }
    template <typename F> void ForEach(F&& f) const {
        for (size_t i = 0; i < keys_.size(); ++i) {
            if (keys_[i] != 0) {
                f(keys_[i], values_[i]);
            }
        }
    }

private:
    size_t Slot(uint32_t colour) const {
        const size_t mask = keys_.size() - 1;
        for (size_t i = (colour * 2654435761u) >> (32 - bits_);; i = (i + 1) & mask) {
            if (keys_[i] == colour || keys_[i] == 0) {
                return i;
            }
        }
    }

    int bits_;
    std::vector<uint32_t> keys_;
    std::vector<uint32_t> values_;
    size_t size_ = 0;
};

namespace {

int32_t Distance(uint32_t a, uint32_t b) {
    int32_t dr = int32_t((a >> 16) & 0xFF) - int32_t((b >> 16) & 0xFF);
    int32_t dg = int32_t((a >> 8) & 0xFF) - int32_t((b >> 8) & 0xFF);
    int32_t db = int32_t(a & 0xFF) - int32_t(b & 0xFF);
    return dr * dr + dg * dg + db * db;
}

// The counts hold up to 4,096 colours (half of 2^13 slots). A canvas with more
// is known not to fit a table; the colours past those are mapped, not counted.
// As many colours keep the index they are shown with; the nearest entry of any
// further colour is looked up at each run of it.
constexpr int kColourBits = 13;

} // namespace

// Exact nearest-colour search over a table of up to 256 colours. The entries
// are kept in order of red; a search starts at the colour's red and walks
// outwards both ways, and a way ends once its red difference alone is further
// than the nearest entry found. The answer is the one a search of the whole
// table gives: of entries as near, the first in the table.
class NearestColour {
public:
    void Reset(const uint32_t* table, int count) {
        count_ = count;
        // Counting sort by red; entries of one red stay in table order.
        int32_t firstOfRed[257] = {};
        for (int i = 0; i < count; ++i) {
            ++firstOfRed[((table[i] >> 16) & 0xFF) + 1];
        }
        for (int r = 0; r < 256; ++r) {
            firstOfRed[r + 1] += firstOfRed[r];
        }
        std::copy(std::begin(firstOfRed), std::end(firstOfRed), std::begin(firstOfRed_));
        for (int i = 0; i < count; ++i) {
            const int32_t at = firstOfRed[(table[i] >> 16) & 0xFF]++;
            red_[at] = int32_t((table[i] >> 16) & 0xFF);
            green_[at] = int32_t((table[i] >> 8) & 0xFF);
            blue_[at] = int32_t(table[i] & 0xFF);
            index_[at] = uint8_t(i);
        }
    }

    int Find(uint32_t colour) const {
        if (count_ == 0) {
            return 0;
        }
        const int32_t r = int32_t((colour >> 16) & 0xFF), g = int32_t((colour >> 8) & 0xFF), b = int32_t(colour & 0xFF);
        int best = 256;
        int32_t bestDistance = INT32_MAX;
        auto consider = [&](int32_t at) {
            const int32_t dr = red_[at] - r, dg = green_[at] - g, db = blue_[at] - b;
            const int32_t d = dr * dr + dg * dg + db * db;
            if (d < bestDistance || (d == bestDistance && index_[at] < best)) {
                bestDistance = d;
                best = index_[at];
            }
        };
        // Up from the first entry of this red, and down from the one before.
        for (int32_t at = firstOfRed_[r]; at < count_; ++at) {
            const int32_t dr = red_[at] - r;
            if (dr * dr > bestDistance) {
                break;
            }
            consider(at);
        }
        for (int32_t at = firstOfRed_[r] - 1; at >= 0; --at) {
            const int32_t dr = r - red_[at];
            if (dr * dr > bestDistance) {
                break;
            }
            consider(at);
        }
        return best;
    }

private:
    int count_ = 0;
    int32_t firstOfRed_[257] = {}; // first sorted position of each red
    int32_t red_[256] = {};
    int32_t green_[256] = {};
    int32_t blue_[256] = {};
    uint8_t index_[256] = {}; // table index of each sorted position
};

FrameQuantiser::FrameQuantiser()
    : counts_(std::make_unique<ColourMap>(kColourBits)), shownAs_(std::make_unique<ColourMap>(kColourBits)),
      nearest_(std::make_unique<NearestColour>()) {}

FrameQuantiser::~FrameQuantiser() = default;

bool FrameQuantiser::Quantise(const std::vector<uint32_t>& canvas, int32_t width, int32_t height,
                              const std::vector<uint32_t>& ownColours, PictureFrame& frame, uint64_t budget) {
    frame.pixels = AllocateDib8(width, height, budget);
    if (frame.pixels.empty()) {
        return false;
    }
    // 1. The colours the canvas shows, and how many pixels of each (runs of
    //    one colour are counted without a search each).
    counts_->Clear();
    bool unpainted = false;
    bool countsComplete = true;
    uint32_t last = 0;
    uint32_t* lastCount = nullptr;
    for (uint32_t c : canvas) {
        if (c == 0) {
            unpainted = true;
            continue;
        }
        if (c == last && lastCount != nullptr) {
            ++*lastCount;
            continue;
        }
        last = c;
        lastCount = counts_->Insert(c);
        if (lastCount == nullptr) {
            countsComplete = false;
            continue;
        }
        ++*lastCount;
    }

    // 2. The table: unpainted pixels need an entry of their own.
    const int room = unpainted ? 255 : 256;
    count_ = 0;
    shownAs_->Clear();
    if (countsComplete && counts_->size() <= size_t(room)) {
        counts_->ForEach([this](uint32_t c, uint32_t) { Add(c); });
    } else {
        ChooseColours(canvas, ownColours, room, countsComplete);
        nearest_->Reset(palette_, count_);
    }
    int transparentIndex = -1;
    if (unpainted) {
        const uint32_t colour = PickUnusedColour();
        transparentIndex = count_;
        palette_[count_++] = colour;
        frame.transparentColour = int32_t(((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF));
    }
    uint8_t* table = frame.pixels.data() + kDibHeaderBytes;
    for (int i = 0; i < count_; ++i) {
        PutU32(table + i * 4, palette_[i] & 0x00FFFFFF); // blue, green, red, 0 in memory
    }

    // 3. The pixels.
    last = 0;
    uint8_t lastIndex = 0;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = Dib8Row(frame.pixels, width, height, y);
        const uint32_t* src = canvas.data() + size_t(y) * size_t(width);
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t c = src[x];
            if (c == 0) {
                row[x] = uint8_t(transparentIndex);
                continue;
            }
            if (c != last) {
                lastIndex = IndexOf(c);
                last = c;
            }
            row[x] = lastIndex;
        }
    }
    return true;
}

void FrameQuantiser::ChooseColours(const std::vector<uint32_t>& canvas, const std::vector<uint32_t>& ownColours,
                                   int room, bool countsComplete) {
    // The frame's own colours that the canvas still shows come first: they are
    // what the frame has just painted.
    enum class Own : uint8_t { NotShown, Shown, Listed };
    std::unordered_map<uint32_t, Own> own;
    own.reserve(ownColours.size());
    for (uint32_t c : ownColours) {
        own[c] = countsComplete && counts_->Find(c) != nullptr ? Own::Shown : Own::NotShown;
    }
    if (!countsComplete) {
        // The counts miss some colours: only the pixels tell which are shown.
        uint32_t last = 0;
        for (uint32_t c : canvas) {
            if (c == last || c == 0) {
                continue;
            }
            last = c;
            if (auto it = own.find(c); it != own.end()) {
                it->second = Own::Shown;
            }
        }
    }
    std::vector<uint32_t> mine;
    for (uint32_t c : ownColours) {
        Own& state = own[c];
        if (state == Own::Shown) { // a colour the map holds twice is listed once
            mine.push_back(c);
            state = Own::Listed;
        }
    }
    // 256 of them and unpainted pixels too (a map holds no more than 256, so
    // one is too many): the colour closest to another one (of two as close,
    // the one with fewer pixels) is left for its neighbour.
    if (mine.size() > size_t(room)) {
        size_t drop = 0;
        int32_t dropDistance = INT32_MAX;
        uint32_t dropPixels = UINT32_MAX;
        for (size_t i = 0; i < mine.size(); ++i) {
            int32_t nearest = INT32_MAX;
            for (size_t j = 0; j < mine.size(); ++j) {
                if (j != i) {
                    nearest = std::min(nearest, Distance(mine[i], mine[j]));
                }
            }
            const uint32_t* n = counts_->Find(mine[i]);
            const uint32_t pixels = n != nullptr ? *n : 0;
            if (nearest < dropDistance || (nearest == dropDistance && pixels < dropPixels)) {
                drop = i;
                dropDistance = nearest;
                dropPixels = pixels;
            }
        }
        mine.erase(mine.begin() + ptrdiff_t(drop));
    }
    for (uint32_t c : mine) {
        Add(c);
    }
    // Then the other colours, most pixels first.
    if (count_ < room) {
        std::vector<std::pair<uint32_t, uint32_t>> rest; // pixels, colour
        counts_->ForEach([&](uint32_t c, uint32_t pixels) {
            if (shownAs_->Find(c) == nullptr) { // not in the table yet
                rest.emplace_back(pixels, c);
            }
        });
        const size_t take = std::min(rest.size(), size_t(room - count_));
        auto morePixels = [](const auto& a, const auto& b) {
            return a.first > b.first || (a.first == b.first && a.second < b.second);
        };
        std::partial_sort(rest.begin(), rest.begin() + ptrdiff_t(take), rest.end(), morePixels);
        for (size_t i = 0; i < take; ++i) {
            Add(rest[i].second);
        }
    }
}

uint8_t FrameQuantiser::IndexOf(uint32_t colour) {
    if (const uint32_t* index = shownAs_->Find(colour)) {
        return uint8_t(*index);
    }
    const int found = nearest_->Find(colour);
    if (uint32_t* index = shownAs_->Insert(colour)) { // null once the map is full
        *index = uint32_t(found);
    }
    return uint8_t(found);
}

void FrameQuantiser::Add(uint32_t colour) {
    palette_[count_] = colour;
    *shownAs_->Insert(colour) = uint32_t(count_); // 256 at most: always room
    ++count_;
}

uint32_t FrameQuantiser::PickUnusedColour() const {
    for (uint32_t candidate = 0xFF00FF;; candidate = (candidate + 0x010305) & 0xFFFFFF) {
        bool used = false;
        for (int i = 0; i < count_ && !used; ++i) {
            used = (palette_[i] & 0xFFFFFF) == candidate;
        }
        if (!used && candidate != 0) {
            return candidate;
        }
    }
}

} // namespace pictures
