#include "bench/same_work_window.h"

#include <exdisp.h>
#include <ole2.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace bench {

namespace {

constexpr wchar_t kWindowClass[] = L"SameWorkWindow";
constexpr wchar_t kPictureClass[] = L"SameWorkPicture";
constexpr wchar_t kBrowserClsid[] = L"{8856F961-340A-11D0-A96B-00C04FD705A2}";
const IID kIidWebBrowser2 = {0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};

using AtlAxWinInitFn = BOOL(WINAPI*)();
using AtlAxGetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);
AtlAxGetControlFn gGetControl = nullptr;

// What one window holds: its picture (decoded on the first paint, as the
// picture box decodes) and its browser.
struct WindowState {
    const uint8_t* jpeg = nullptr;  // borrowed
    size_t jpegSize = 0;
    HBITMAP picture = nullptr;  // owned
    int width = 0, height = 0;
    IWebBrowser2* browser = nullptr;  // owned reference
};

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void OnJpegError(j_common_ptr c) { std::longjmp(reinterpret_cast<JpegError*>(c->err)->jump, 1); }

// libjpeg-turbo straight into a top-down 32-bit DIB section.
HBITMAP DecodeJpeg(const uint8_t* bytes, size_t size, int* width, int* height)
{
    jpeg_decompress_struct c;
    JpegError error;
    c.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = OnJpegError;
    HBITMAP bitmap = nullptr;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&c);
        if (bitmap) DeleteObject(bitmap);
        return nullptr;
    }
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, bytes, static_cast<unsigned long>(size));
    jpeg_read_header(&c, TRUE);
    c.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&c);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<LONG>(c.output_width);
    info.bmiHeader.biHeight = -static_cast<LONG>(c.output_height);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) {
        jpeg_destroy_decompress(&c);
        return nullptr;
    }
    const size_t stride = size_t{c.output_width} * 4;
    while (c.output_scanline < c.output_height) {
        JSAMPROW row = static_cast<uint8_t*>(bits) + size_t{c.output_scanline} * stride;
        jpeg_read_scanlines(&c, &row, 1);
    }
    *width = static_cast<int>(c.output_width);
    *height = static_cast<int>(c.output_height);
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
    return bitmap;
}

WindowState* StateOf(HWND hwnd) { return reinterpret_cast<WindowState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

LRESULT CALLBACK PictureProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg != WM_PAINT) return DefWindowProcW(hwnd, msg, wp, lp);
    WindowState* state = StateOf(GetParent(hwnd));
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (state && !state->picture && state->jpeg)
        state->picture = DecodeJpeg(state->jpeg, state->jpegSize, &state->width, &state->height);
    if (state && state->picture) {
        RECT r;
        GetClientRect(hwnd, &r);
        HDC source = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(source, state->picture);
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr);
        StretchBlt(dc, 0, 0, r.right, r.bottom, source, 0, 0, state->width, state->height, SRCCOPY);
        SelectObject(source, old);
        DeleteDC(source);
    }
    EndPaint(hwnd, &ps);
    return 0;
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_NCDESTROY) {
        if (WindowState* state = StateOf(hwnd)) {
            if (state->browser) state->browser->Release();
            if (state->picture) DeleteObject(state->picture);
            delete state;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        }
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

HWND Child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h,
           DWORD exStyle = 0)
{
    HWND child = CreateWindowExW(exStyle, cls, text, WS_CHILD | style, x, y, w, h, parent, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return child;
}

}  // namespace

bool StartSameWorkWindows()
{
    static const bool started = [] {
        HMODULE atl = LoadLibraryW(L"atl.dll");
        if (!atl) return false;
        auto init = reinterpret_cast<AtlAxWinInitFn>(GetProcAddress(atl, "AtlAxWinInit"));
        gGetControl = reinterpret_cast<AtlAxGetControlFn>(GetProcAddress(atl, "AtlAxGetControl"));
        if (!init || !gGetControl) return false;
        // A second call fails under Wine once the class exists (the HTML
        // viewer unit has made it in the same process); the class is what
        // counts.
        init();
        WNDCLASSW existing;
        if (!GetClassInfoW(nullptr, L"AtlAxWin", &existing) && !GetClassInfoW(atl, L"AtlAxWin", &existing))
            return false;
        WNDCLASSW wc{};
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        // The program's icon where the program has one, as the window unit
        // gives its window (a window's icon is drawn in its caption and the
        // task bar, which costs the system some work).
        wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(1));
        if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
        wc.lpszClassName = kWindowClass;
        RegisterClassW(&wc);
        wc.hIcon = nullptr;
        wc.lpfnWndProc = PictureProc;
        wc.hbrBackground = nullptr;
        wc.lpszClassName = kPictureClass;
        RegisterClassW(&wc);
        return true;
    }();
    return started;
}

HWND CreateSameWorkWindow(const uint8_t* jpeg, size_t size)
{
    if (!StartSameWorkWindows()) return nullptr;
    const int width = 415, height = 127;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    HWND hwnd = CreateWindowExW(0, kWindowClass, L"", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, x, y,
                                width, height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!hwnd) return nullptr;
    auto* state = new WindowState;
    state->jpeg = jpeg;
    state->jpegSize = size;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));

    // The application's units, in their stored order.
    Child(hwnd, L"STATIC", L"\u8f6f\u4ef6\u4ec5\u4f9b\u5b66\u4e60\u4ea4\u6d41   BY\uff1aMirvane", WS_VISIBLE, 64, 48,
          216, 32);
    Child(hwnd, kPictureClass, L"", WS_VISIBLE, 296, 12, 16, 16);
    Child(hwnd, L"EDIT", L"", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 48, 8, 272, 24, WS_EX_CLIENTEDGE);
    Child(hwnd, L"STATIC", L"\u7f51\u5740\uff1a", WS_VISIBLE, 8, 8, 40, 24);
    HWND container = Child(hwnd, L"AtlAxWin", kBrowserClsid, WS_TABSTOP, 344, 56, 40, 24);
    IUnknown* control = nullptr;
    if (container && SUCCEEDED(gGetControl(container, &control)) && control) {
        control->QueryInterface(kIidWebBrowser2, reinterpret_cast<void**>(&state->browser));
        control->Release();
    }
    Child(hwnd, L"BUTTON", L"\u4e0b\u8f7d", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 328, 8, 72, 24);

    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
    return hwnd;
}

bool FindStoredJpeg(const uint8_t* block, size_t size, const uint8_t** jpeg, size_t* length)
{
    static const uint8_t kStart[] = {0xFF, 0xD8, 0xFF};
    for (size_t i = 4; i + sizeof kStart <= size; ++i) {
        if (std::memcmp(block + i, kStart, sizeof kStart) != 0) continue;
        uint32_t n;
        std::memcpy(&n, block + i - 4, 4);
        if (n < 4 || n > size - i || block[i + n - 2] != 0xFF || block[i + n - 1] != 0xD9) continue;
        *jpeg = block + i;
        *length = n;
        return true;
    }
    return false;
}

}  // namespace bench
