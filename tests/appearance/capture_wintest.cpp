// Window pictures: a window printed alone or with its children at their places, and a canvas
// that cannot be made gives its handles back.
#include <gtest/gtest.h>
#include <windows.h>

#include "appearance/capture_win.h"
#include "appearance/colour.h"

using namespace qm;

namespace {

constexpr COLORREF kParentColour = RGB(200, 0, 0);
constexpr COLORREF kChildColour = RGB(0, 0, 200);
constexpr COLORREF kHiddenColour = RGB(0, 200, 0);

// A window that paints its client area in the colour kept in its user data.
LRESULT CALLBACK plainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PRINTCLIENT || message == WM_PAINT) {
        PAINTSTRUCT ps{};
        HDC dc = message == WM_PAINT ? BeginPaint(window, &ps) : reinterpret_cast<HDC>(wParam);
        RECT rc{};
        GetClientRect(window, &rc);
        BrushHandle brush(CreateSolidBrush(static_cast<COLORREF>(GetWindowLongPtrW(window, GWLP_USERDATA))));
        FillRect(dc, &rc, brush.get());
        if (message == WM_PAINT) EndPaint(window, &ps);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND plainWindow(HWND parent, DWORD style, int x, int y, int width, int height, COLORREF colour) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = plainProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QuillmapCaptureTest";
    RegisterClassExW(&wc);  // fails harmlessly after the first time
    HWND window = CreateWindowExW(0, wc.lpszClassName, L"", style, x, y, width, height, parent, nullptr,
                                  wc.hInstance, nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, static_cast<LONG_PTR>(colour));
    return window;
}

std::string colourAt(const WindowPixels& p, int x, int y) {
    const uint32_t v = p.at(x, y);
    return colourText(RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF));
}

}  // namespace

TEST(WindowCapture, ChildrenArePrintedWhereTheyLieAndOnlyWhenVisible) {
    HWND frame = plainWindow(nullptr, WS_POPUP | WS_VISIBLE, 0, 0, 100, 60, kParentColour);
    ASSERT_NE(frame, nullptr);
    plainWindow(frame, WS_CHILD | WS_VISIBLE, 20, 10, 30, 20, kChildColour);
    plainWindow(frame, WS_CHILD, 60, 10, 30, 20, kHiddenColour);

    WindowPixels alone, whole;
    ASSERT_TRUE(captureClient(frame, alone));
    ASSERT_TRUE(captureWithChildren(frame, frame, whole));
    ASSERT_EQ(whole.width, 100);
    ASSERT_EQ(whole.height, 60);
    struct {
        const char* what;
        int x, y;
        COLORREF alone, whole;
    } cases[] = {
        {"frame", 5, 5, kParentColour, kParentColour},
        {"child's first pixel", 20, 10, kParentColour, kChildColour},
        {"child's last pixel", 49, 29, kParentColour, kChildColour},
        {"right of the child", 50, 29, kParentColour, kParentColour},
        {"below the child", 49, 30, kParentColour, kParentColour},
        {"hidden child", 70, 20, kParentColour, kParentColour},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(colourAt(alone, c.x, c.y), colourText(c.alone)) << c.what << " alone";
        EXPECT_EQ(colourAt(whole, c.x, c.y), colourText(c.whole)) << c.what << " with children";
    }
    DestroyWindow(frame);
}

TEST(WindowCapture, CanvasThatCannotBeMadeKeepsNoHandle) {
    // More than the 65,536 GDI handles Windows grants a process at most (Wine's table holds
    // fewer): a canvas that kept its device context when the bitmap failed would use them up.
    constexpr int kBeyondAnyHandleQuota = 70000;
    constexpr int kTooBig = 40000;  // 40000 x 40000 x 4 bytes: no DIB section of that size
    for (int i = 0; i < kBeyondAnyHandleQuota; ++i) {
        DibCanvas canvas(kTooBig, kTooBig);
        ASSERT_FALSE(canvas) << "made a canvas of 6.4 GB";
    }
    DibCanvas small(2, 2);
    EXPECT_TRUE(small) << "the failed canvases left no handle to make a small one";
}
