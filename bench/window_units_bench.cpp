// Loading and showing the application's window (its stored form) against a
// plain Win32 window that makes the same children itself (bench/
// same_work_window.h) and against a bare window of the same size, and one
// full repaint of a window with a 1920 x 1080 background picture against a
// bare window blitting the same bitmap, all in the same run.
//
//   window_units_bench [repeats]     (run it under scripts/wine-run.sh)
#include "bench/bench_line.h"
#include "bench/same_work_window.h"
#include "runtime/forms/unit_properties.h"
#include "runtime/forms/window_unit.h"
#include "runtime/forms/window_unit_data.h"
#include "runtime/pictures/picture_draw.h"
#include "runtime/forms/window_set.h"
#include "runtime/units/unit_data.h"
#include "tests/runtime/pictures/picture_files.h"
#include "sl_app_form.h"
#include "tests/runtime/units/window_fixture.h"

#include <ole2.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

using namespace unit_test;
namespace pf = picture_files;

namespace {

// The best round: what the work costs when the machine lets it run.
double Best(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[0];
}

double TimeMs(const std::function<void()>& f)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    f();
    QueryPerformanceCounter(&end);
    return static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// ---- the bare counterpart --------------------------------------------------------

HBITMAP gBareBitmap = nullptr;
int gBareWidth = 0, gBareHeight = 0;

LRESULT CALLBACK BareProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (gBareBitmap) {
            HDC mem = CreateCompatibleDC(dc);
            HGDIOBJ old = SelectObject(mem, gBareBitmap);
            BitBlt(dc, 0, 0, gBareWidth, gBareHeight, mem, 0, 0, SRCCOPY);
            SelectObject(mem, old);
            DeleteDC(mem);
        } else {
            FillRect(dc, &ps.rcPaint, GetSysColorBrush(COLOR_BTNFACE));
        }
        EndPaint(hwnd, &ps);
        return 0;
    }
    if (msg == WM_ERASEBKGND) return 1;
    return DefWindowProcW(hwnd, msg, wp, lp);
}

HWND CreateBare(int w, int h)
{
    static bool registered = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = BareProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = L"BareBenchWindow";
        return RegisterClassW(&wc) != 0;
    }();
    (void)registered;
    HWND hwnd = CreateWindowExW(0, L"BareBenchWindow", L"", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0,
                                0, w, h, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
    return hwnd;
}

// ---- the application's window ------------------------------------------------------

std::vector<UnitSpec> ApplicationUnits(const pf::Bytes& clearPicture)
{
    LabelData label2;
    label2.caption = "\xc8\xed\xbc\xfe\xbd\xf6\xb9\xa9\xd1\xa7\xcf\xb0\xbd\xbb\xc1\xf7\x20\x20\x20\x42\x59\xa3\xba"
                     "\x4d\x69\x72\x76\x61\x6e\x65";
    LabelData label1;
    label1.caption = "\xcd\xf8\xd6\xb7\xa3\xba";
    PictureBoxData picture;
    picture.displayMode = 1;
    picture.picture = clearPicture;
    EditBoxData edit;
    edit.borderStyle = 5;
    ButtonData button;
    button.caption = "\xcf\xc2\xd4\xd8";
    return {
        {0x16011EE1, kUnitTypeLabel, 8, 66, 216, 32, kUnitVisible, WriteLabelData(label2)},
        {0x16011EE2, kUnitTypePicBox, 300, 14, 16, 16, kUnitVisible, WritePictureBoxData(picture)},
        {0x16011EE3, kUnitTypeEditBox, 50, 12, 245, 21, kUnitVisible | kUnitTabStop, WriteEditBoxData(edit)},
        {0x16011EE4, kUnitTypeLabel, 8, 15, 40, 16, kUnitVisible, WriteLabelData(label1)},
        {0x16011EE5, kUnitTypeHtmlViewer, 330, 60, 60, 30, kUnitTabStop, {}},
        {0x16011EE6, kUnitTypeButton, 325, 10, 70, 26, kUnitVisible | kUnitTabStop, WriteButtonData(button)},
    };
}

}  // namespace

int main(int argc, char** argv)
{
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const pf::Bytes clear = pf::Jpeg(128, 128, [](int x, int y) { return pf::Quadrants(x, y, 128, 128); });
    const UnitSpec window{kWindowUnitId, kUnitTypeWindow, 50, 50, 415, 127};
    const std::vector<UnitSpec> units = ApplicationUnits(clear);

    OleInitialize(nullptr);
    // Warm every path once (class registration, font and control loading).
    if (!LoadFormBlock(kMainWindowForm, kMainWindowFormSize, kWindowId) || !UnitWindow(0x16011EE4)) {
        std::fprintf(stderr, "the application's window did not load (read %d)\n",
                     ReadProgramFormBlock(kMainWindowForm, kMainWindowFormSize, gRoutines));
        return 1;
    }
    UnloadTestWindow();
    const uint8_t* cross = nullptr;
    size_t crossSize = 0;
    if (!bench::FindStoredJpeg(kMainWindowForm, kMainWindowFormSize, &cross, &crossSize) ||
        !bench::StartSameWorkWindows()) {
        std::fprintf(stderr, "no stored picture or no control container\n");
        return 1;
    }

    DestroyWindow(bench::CreateSameWorkWindow(cross, crossSize));
    Pump();
    DestroyWindow(CreateBare(415, 127));
    Pump();

    // Rounds interleave the three, so that a busy stretch of the machine
    // hits all of them. Each: create, show, paint and the messages that
    // follow; the destruction is not timed.
    std::vector<double> load, same, bare;
    for (int i = 0; i < repeats; ++i) {
        bool loaded = false;
        load.push_back(TimeMs([&] {
            loaded = LoadFormBlock(kMainWindowForm, kMainWindowFormSize, kWindowId);
            UpdateWindow(UnitWindow(0));
        }));
        if (!loaded) {
            std::fprintf(stderr, "the application's window did not load\n");
            return 1;
        }
        UnloadTestWindow();
        HWND h = nullptr;
        same.push_back(TimeMs([&] {
            h = bench::CreateSameWorkWindow(cross, crossSize);
            Pump();
        }));
        DestroyWindow(h);
        Pump();
        bare.push_back(TimeMs([&] {
            h = CreateBare(415, 127);
            Pump();
        }));
        DestroyWindow(h);
        Pump();
    }
    std::printf("best of %d rounds\n", repeats);
    std::printf("load+show application window: %.3f ms, same children made directly: %.3f ms, ratio %.2f\n",
                Best(load), Best(same), Best(load) / Best(same));
    std::printf("  bare window: %.3f ms, ratio %.2f\n", Best(bare), Best(load) / Best(bare));
    // The same units made by the bench, to see where the time goes.
    std::printf("  units of the bench's own form without the HTML viewer: ");
    std::vector<UnitSpec> noViewer = units;
    noViewer.erase(noViewer.begin() + 4);
    std::vector<double> load2;
    for (int i = 0; i < repeats; ++i) {
        load2.push_back(TimeMs([&] {
            LoadTestWindow(window, noViewer);
            UpdateWindow(UnitWindow(0));
        }));
        UnloadTestWindow();
    }
    std::printf("%.3f ms, ratio %.2f\n", Best(load2), Best(load2) / Best(bare));
    std::vector<double> load3;
    for (int i = 0; i < repeats; ++i) {
        load3.push_back(TimeMs([&] {
            LoadTestWindow(window, {});
            UpdateWindow(UnitWindow(0));
        }));
        UnloadTestWindow();
    }
    std::printf("  the window unit alone: %.3f ms, ratio %.2f\n", Best(load3), Best(load3) / Best(bare));

    // One full repaint with a 1920 x 1080 background picture (tiled, the
    // default mode: one tile covers the client area).
    const int w = 1920, h = 1080;
    const pf::Bytes big = pf::Jpeg(w, h, [](int x, int y) {
        return pf::Rgba{static_cast<uint8_t>(x), static_cast<uint8_t>(y), static_cast<uint8_t>(x ^ y)};
    });
    WindowUnitData data;
    data.borderStyle = 0;
    data.startPosition = 0;
    data.picture = big;
    const uint32_t decodesBefore = WindowPictureDecodes();
    LoadTestWindow({kWindowUnitId, kUnitTypeWindow, 0, 0, w, h, kUnitVisible, WriteWindowUnitData(data)}, {});
    HWND ours = UnitWindow(0);
    UpdateWindow(ours);
    std::vector<double> repaint;
    for (int i = 0; i < repeats; ++i)
        repaint.push_back(TimeMs([&] { RedrawWindow(ours, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW); }));
    const uint32_t decodes = WindowPictureDecodes() - decodesBefore;
    UnloadTestWindow();

    // The bare window blits the same picture, already a device bitmap.
    auto picture = DecodePicture(big.data(), static_cast<int64_t>(big.size()));
    HDC screen = GetDC(nullptr);
    DrawablePicture drawable;
    MakeDrawable(screen, picture.get(), &drawable, GetSysColor(COLOR_BTNFACE));
    ReleaseDC(nullptr, screen);
    gBareBitmap = drawable.bitmap;
    gBareWidth = w;
    gBareHeight = h;
    HWND plain = CreateWindowExW(0, L"BareBenchWindow", L"", WS_POPUP | WS_VISIBLE, 0, 0, w, h, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    UpdateWindow(plain);
    std::vector<double> bareRepaint;
    for (int i = 0; i < repeats; ++i)
        bareRepaint.push_back(TimeMs([&] { RedrawWindow(plain, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW); }));
    DestroyWindow(plain);
    ReleaseDrawable(&drawable);
    std::printf("repaint 1920x1080 background picture: %.3f ms, bare window: %.3f ms, ratio %.2f; decodes: %u\n",
                Best(repaint), Best(bareRepaint), Best(repaint) / Best(bareRepaint), decodes);
    PrintBenchLine("window_load", Best(load), Best(same), "ms");
    PrintBenchLine("window_load_vs_bare", Best(load), Best(bare), "ms");
    PrintBenchLine("window_repaint_1920x1080", Best(repaint), Best(bareRepaint), "ms");
    return decodes == 1 ? 0 : 1;
}
