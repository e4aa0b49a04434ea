#include "runtime/units/picture_box_unit.h"

#include "runtime/units/property_rules.h"
#include "runtime/units/unit.h"
#include "runtime/units/unit_data.h"
#include "runtime/units/unit_picture.h"

namespace {

constexpr wchar_t kPicBoxClass[] = L"_ZR_PicBox";

Placement DisplayPlacement(uint32_t mode)
{
    return mode == 1 ? Placement::Stretched : mode == 2 ? Placement::Fitted : Placement::Natural;
}

class PictureBoxUnit final : public Unit {
public:
    PictureBoxUnit(WindowId w, UnitId u) : Unit(w, u, kUnitTypePicBox) {}
    ~PictureBoxUnit() override
    {
        StopAnimation();
        if (brush_) DeleteObject(brush_);
    }

    bool Create(const uint8_t* data, uint32_t size, uint32_t style, HWND parent, uint32_t id, int x, int y, int cx,
                int cy)
    {
        if (!ReadPictureBoxData(data, size, data_)) return false;
        if (!EnsureWindowClass(kPicBoxClass, nullptr)) return false;
        HWND hwnd =
            CreateWindowExW(0, kPicBoxClass, L"", style | 0x44000000, x, y, cx, cy, parent,
                            reinterpret_cast<HMENU>(static_cast<uintptr_t>(id)), GetModuleHandleW(nullptr), nullptr);
        if (!hwnd) return false;
        Attach(hwnd);
        brush_ = CreateSolidBrush(ResolveColor(data_.backColor));
        LoadPicture(std::move(data_.picture));
        ApplyBorderStyle(hwnd, data_.borderStyle);
        return true;
    }

    int32_t SetProperty(int32_t k, const UnitPropertyValue& v) override
    {
        const int32_t n = ValueInt(v);
        switch (k) {
        case 0:
            data_.borderStyle = ClampRange(n, 0, 5);
            ApplyBorderStyle(hwnd_, data_.borderStyle);
            return 0;
        case 1:
            data_.backColor = v.low;
            if (brush_) DeleteObject(brush_);
            brush_ = CreateSolidBrush(ResolveColor(data_.backColor));
            break;
        case 2:
            LoadPicture(ValueBytes(v));
            break;
        case 3:
            data_.displayMode = ClampRange(n, 0, 2);
            break;
        case 4:
            data_.playAnimation = v.low != 0;
            if (data_.playAnimation)
                StartAnimation();
            else
                StopAnimation();
            return 0;
        case 5:
            data_.dataSource = ValueText(v);
            return 0;
        case 6:
            data_.dataColumn = ValueText(v);
            return 0;
        default:
            return 0;
        }
        InvalidateRect(hwnd_, nullptr, FALSE);
        return 0;
    }

    bool GetProperty(int32_t k, UnitPropertyValue& out) override
    {
        switch (k) {
        case 0:
            ResultInt(data_.borderStyle, out);
            return true;
        case 1:
            ResultInt(data_.backColor, out);
            return true;
        case 2:
            ResultBytes(picture_.Bytes(), out);
            return true;
        case 3:
            ResultInt(data_.displayMode, out);
            return true;
        case 4:
            ResultInt(data_.playAnimation, out);
            return true;
        case 5:
            ResultText(data_.dataSource, out);
            return true;
        case 6:
            ResultText(data_.dataColumn, out);
            return true;
        default:
            return false;
        }
    }

    std::vector<uint8_t> CurrentData() override
    {
        PictureBoxData d = data_;
        d.picture = picture_.Bytes();
        return WritePictureBoxData(d);
    }

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override
    {
        switch (msg) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd_, &ps);
            if (dc) Paint(dc);
            EndPaint(hwnd_, &ps);
            return 0;
        }
        case WM_DESTROY:
            StopAnimation();
            return CallOriginal(msg, wp, lp);
        default:
            return CallOriginal(msg, wp, lp);
        }
    }

private:
    void Paint(HDC dc)
    {
        // The worker does not advance the frame while a paint is drawing it.
        AcquireSRWLockExclusive(&lock_);
        busy_ = true;
        const size_t frame = frame_;
        ReleaseSRWLockExclusive(&lock_);

        RECT client;
        GetClientRect(hwnd_, &client);
        FillRect(dc, &client, brush_);
        picture_.Draw(dc, client, DisplayPlacement(data_.displayMode), ResolveColor(data_.backColor), frame);

        AcquireSRWLockExclusive(&lock_);
        busy_ = false;
        ReleaseSRWLockExclusive(&lock_);
        WakeAllConditionVariable(&wake_);
    }

    void LoadPicture(std::vector<uint8_t> bytes)
    {
        StopAnimation();
        picture_.SetBytes(std::move(bytes));
        frame_ = 0;
        delays_.clear();
        const Picture* p = picture_.Decoded();
        if (p && p->IsAnimated()) {
            for (const PictureFrame& f : p->frames) delays_.push_back(f.delayMs ? f.delayMs : 100);
            loops_ = p->loopCount;
            if (data_.playAnimation) StartAnimation();
        }
    }

    void StartAnimation()
    {
        if (worker_ || delays_.size() < 2 || !hwnd_) return;
        stop_ = false;
        worker_ = CreateThread(nullptr, 0, &PictureBoxUnit::AnimateEntry, this, 0, nullptr);
    }

    void StopAnimation()
    {
        AcquireSRWLockExclusive(&lock_);
        stop_ = true;
        ReleaseSRWLockExclusive(&lock_);
        WakeAllConditionVariable(&wake_);
        if (worker_) {
            WaitForSingleObject(worker_, INFINITE);
            CloseHandle(worker_);
            worker_ = nullptr;
        }
    }

    static DWORD WINAPI AnimateEntry(void* self)
    {
        static_cast<PictureBoxUnit*>(self)->Animate();
        return 0;
    }

    // The worker: waits each frame's delay, then for the painter to be done,
    // then moves to the next frame and asks for a repaint.
    void Animate()
    {
        uint32_t rounds = 0;
        AcquireSRWLockExclusive(&lock_);
        while (!stop_) {
            const DWORD delay = delays_[frame_ % delays_.size()];
            const DWORD start = GetTickCount();
            for (DWORD waited = 0; !stop_ && waited < delay; waited = GetTickCount() - start)
                SleepConditionVariableSRW(&wake_, &lock_, delay - waited, 0);
            while (!stop_ && busy_) SleepConditionVariableSRW(&wake_, &lock_, INFINITE, 0);
            if (stop_) break;
            size_t next = (frame_ + 1) % delays_.size();
            if (next == 0 && loops_ != 0 && ++rounds >= loops_) break;
            frame_ = next;
            InvalidateRect(hwnd_, nullptr, FALSE);
        }
        ReleaseSRWLockExclusive(&lock_);
    }

    PictureBoxData data_;
    UnitPicture picture_;
    HBRUSH brush_ = nullptr;  // owned

    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE wake_ = CONDITION_VARIABLE_INIT;
    HANDLE worker_ = nullptr;  // owned: the animation worker
    bool busy_ = false;        // the painter is drawing
    bool stop_ = false;
    size_t frame_ = 0;
    std::vector<uint32_t> delays_;
    uint32_t loops_ = 0;
};

LiveUnit* CreatePictureBox(const uint8_t* data, uint32_t size, uint32_t style, void* parent, uint32_t controlId, void*,
                           int32_t left, int32_t top, int32_t width, int32_t height, WindowId windowId, UnitId unitId,
                           uint32_t, uint32_t)
{
    auto* unit = new PictureBoxUnit(windowId, unitId);
    if (!unit->Create(data, size, style, static_cast<HWND>(parent), controlId, left, top, width, height)) {
        delete unit;
        return nullptr;
    }
    return unit;
}

}  // namespace

UnitOperation PictureBoxInterface(int32_t code) { return CommonUnitOperation(code, &CreatePictureBox); }
