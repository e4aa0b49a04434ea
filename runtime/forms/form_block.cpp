#include "runtime/forms/form_block.h"

#include "runtime/forms/byte_stream.h"

#include <algorithm>

uintptr_t UnitRecord::FindHandler(int32_t event) const
{
    for (const EventBinding& b : bindings) {
        if (b.event == event) return b.handler;
    }
    return 0;
}

int UnitList::FindIndex(UnitId id) const
{
    if (units.empty()) return -1;
    if (units[0].id == id) return 0;
    for (size_t k = 1; k < units.size(); ++k) {
        if (units[k].id == id) return static_cast<int>(k);
    }
    return -1;
}

UnitRecord* UnitList::Find(UnitId id)
{
    int k = FindIndex(id);
    return k < 0 ? nullptr : &units[k];
}

const UnitRecord* UnitList::Find(UnitId id) const
{
    int k = FindIndex(id);
    return k < 0 ? nullptr : &units[k];
}

std::pair<size_t, size_t> UnitList::MenuRun() const
{
    size_t first = 0;
    while (first < units.size() && !units[first].IsMenuItem()) ++first;
    size_t last = first;
    while (last < units.size() && units[last].IsMenuItem()) ++last;
    return {first, last};
}

WindowRecord* WindowSet::Find(WindowId id)
{
    for (auto& w : windows) {
        if (w->id == id) return w.get();
    }
    return nullptr;
}

const WindowRecord* WindowSet::Find(WindowId id) const
{
    return const_cast<WindowSet*>(this)->Find(id);
}

// ---- reading ---------------------------------------------------------------------

namespace {

// Reads `count` u32 words without trusting the count for the allocation.
bool ReadWords(ByteReader& r, uint32_t count, std::vector<uint32_t>* out)
{
    if (static_cast<uint64_t>(count) * 4 > r.Remaining()) return r.Fail();
    out->resize(count);
    for (uint32_t& w : *out) w = r.U32();
    return r.Ok();
}

bool ReadUnitRecord(const uint8_t* data, size_t size, UnitId id, UnitRecord* u)
{
    ByteReader r(data, size);
    u->id = id;
    u->type = r.U32();
    u->link = r.U32();
    r.Take(u->reserved.data(), u->reserved.size());
    r.InlineText(&u->name);
    r.InlineText(&u->secondName);
    if (!r.Ok()) return false;

    if (u->IsMenuItem()) {
        MenuItemPart& m = u->menu;
        m.words[0] = r.U32();
        m.words[1] = r.U32();
        m.flags = r.U32();
        r.InlineText(&m.caption);
        m.storedHandler = r.U32();
        if (!r.Ok()) return false;
        m.rest.assign(r.Here(), r.Here() + r.Remaining());
        return true;
    }

    r.U32();  // object slot: meaningless in storage
    u->left = r.I32();
    u->top = r.I32();
    u->width = r.I32();
    u->height = r.I32();
    r.U32();  // cursor slot
    u->parent = r.U32();
    ReadWords(r, r.U32(), &u->children);
    r.Counted(&u->pointerData);
    r.InlineText(&u->tag);
    u->reservedWord = r.U32();
    u->flags = r.U32();
    u->tabOrder = r.U32();
    uint32_t bindingCount = r.U32();
    if (!r.Ok() || static_cast<uint64_t>(bindingCount) * 8 > r.Remaining()) return false;
    u->bindings.resize(bindingCount);
    for (EventBinding& b : u->bindings) {
        b.event = r.I32();
        b.stored = r.U32();
    }
    r.Take(u->reservedTail.data(), u->reservedTail.size());
    if (!r.Ok()) return false;
    u->unitData.assign(r.Here(), r.Here() + r.Remaining());
    return true;
}

bool ReadUnitList(const uint8_t* data, size_t size, uint32_t count, UnitList* list)
{
    if (static_cast<uint64_t>(count) * 8 > size) return false;
    ByteReader r(data, size);
    std::vector<uint32_t> ids, offsets;
    ReadWords(r, count, &ids);
    ReadWords(r, count, &offsets);
    if (!r.Ok()) return false;
    const size_t base = r.Position();
    list->units.resize(count);
    for (uint32_t k = 0; k < count; ++k) {
        ByteReader entry(data + base, size - base);
        entry.Skip(offsets[k]);
        uint32_t n = entry.U32();
        if (!entry.Ok() || n > entry.Remaining()) return false;
        if (!ReadUnitRecord(entry.Here(), n, ids[k], &list->units[k])) return false;
    }
    return true;
}

bool ReadWindowRecord(ByteReader& r, WindowRecord* w)
{
    w->word1 = r.U32();
    w->word2 = r.U32();
    r.CountedText(&w->text1);
    r.CountedText(&w->text2);
    uint32_t unitCount = r.U32();
    uint32_t listLength = r.U32();
    const uint8_t* list = r.Here();
    if (!r.Skip(listLength)) return false;
    return ReadUnitList(list, listLength, unitCount, &w->units);
}

}  // namespace

bool ReadFormBlock(const uint8_t* data, size_t size, WindowSet* out)
{
    out->windows.clear();
    if (size == 0) return true;
    ByteReader r(data, size);
    uint32_t tableLength = r.U32();
    const uint8_t* table = r.Here();
    if (!r.Skip(tableLength)) return false;
    const uint32_t count = tableLength / 8;
    ByteReader ids(table, tableLength);
    for (uint32_t k = 0; k < count; ++k) {
        auto w = std::make_unique<WindowRecord>();
        w->id = ids.U32();
        if (!ReadWindowRecord(r, w.get())) {
            out->windows.clear();
            return false;
        }
        out->windows.push_back(std::move(w));
    }
    return true;
}

void FixUpHandlers(WindowSet* set, uintptr_t codeBase)
{
    auto fix = [codeBase](uint32_t stored) -> uintptr_t {
        return stored == kNoHandlerWord ? 0 : codeBase + stored;
    };
    for (auto& w : set->windows) {
        for (UnitRecord& u : w->units.units) {
            if (u.IsMenuItem()) {
                u.menu.handler = fix(u.menu.storedHandler);
            } else {
                for (EventBinding& b : u.bindings) b.handler = fix(b.stored);
            }
        }
    }
}

// ---- writing ---------------------------------------------------------------------

std::vector<uint8_t> WriteUnitRecord(const UnitRecord& u)
{
    ByteWriter w;
    w.U32(u.type);
    w.U32(u.link);
    w.Raw(u.reserved.data(), u.reserved.size());
    w.InlineText(u.name);
    w.InlineText(u.secondName);
    if (u.IsMenuItem()) {
        w.U32(u.menu.words[0]);
        w.U32(u.menu.words[1]);
        w.U32(u.menu.flags);
        w.InlineText(u.menu.caption);
        w.U32(u.menu.storedHandler);
        w.Raw(u.menu.rest);
        return std::move(w.bytes);
    }
    w.U32(0);
    w.I32(u.left);
    w.I32(u.top);
    w.I32(u.width);
    w.I32(u.height);
    w.U32(0);
    w.U32(u.parent);
    w.U32(static_cast<uint32_t>(u.children.size()));
    for (UnitId c : u.children) w.U32(c);
    w.Counted(u.pointerData);
    w.InlineText(u.tag);
    w.U32(u.reservedWord);
    w.U32(u.flags);
    w.U32(u.tabOrder);
    w.U32(static_cast<uint32_t>(u.bindings.size()));
    for (const EventBinding& b : u.bindings) {
        w.I32(b.event);
        w.U32(b.stored);
    }
    w.Raw(u.reservedTail.data(), u.reservedTail.size());
    w.Raw(u.unitData);
    return std::move(w.bytes);
}

std::vector<uint8_t> WriteUnitList(const UnitList& list)
{
    ByteWriter ids, offsets, entries;
    for (const UnitRecord& u : list.units) {
        ids.U32(u.id);
        offsets.U32(static_cast<uint32_t>(entries.bytes.size()));
        std::vector<uint8_t> record = WriteUnitRecord(u);
        entries.Counted(record);
    }
    ids.Raw(offsets.bytes);
    ids.Raw(entries.bytes);
    return std::move(ids.bytes);
}

std::vector<uint8_t> WriteFormBlock(const WindowSet& set)
{
    if (set.windows.empty()) return {};
    ByteWriter w;
    w.U32(static_cast<uint32_t>(8 * set.windows.size()));
    for (const auto& rec : set.windows) w.U32(rec->id);
    for (size_t k = 0; k < set.windows.size(); ++k) w.U32(0);
    for (const auto& rec : set.windows) {
        w.U32(rec->word1);
        w.U32(rec->word2);
        w.CountedText(rec->text1);
        w.CountedText(rec->text2);
        w.U32(static_cast<uint32_t>(rec->units.units.size()));
        w.Counted(WriteUnitList(rec->units));
    }
    return std::move(w.bytes);
}
