// The shared drawing operations, rendered through a window's WM_PRINTCLIENT into a 32-bit DIB
// section and checked pixel by pixel; WM_PAINT goes through the same buffered path.
#include <windows.h>

#include <algorithm>
#include <cstdlib>

#include <gtest/gtest.h>

#include "appearance/capture_win.h"
#include "appearance/draw_win.h"
#include "appearance/palette.h"

using namespace qm;

namespace {

constexpr int kWidth = 120;
constexpr int kHeight = 80;
const COLORREF kPaper = RGB(250, 250, 250);
const COLORREF kRed = RGB(200, 0, 0);
const COLORREF kBlue = RGB(0, 0, 200);
const COLORREF kGreen = RGB(0, 160, 0);
const COLORREF kInk = RGB(10, 10, 10);

struct Scene {
    HFONT font = nullptr;
    int paints = 0;
};

void drawScene(HDC dc, const RECT& client, const Scene& scene) {
    BrushHandle paper(CreateSolidBrush(kPaper));
    FillRect(dc, &client, paper.get());
    fillHLine(dc, 10, 20, 5, kRed);
    frameRect(dc, RECT{30, 10, 40, 20}, kBlue);
    fillRoundRect(dc, RECT{50, 10, 80, 40}, 6, kGreen, kInk);
    drawText(dc, L"", RECT{0, 45, 30, 60}, kInk, scene.font, DT_LEFT);  // draws nothing
    drawText(dc, L"W", RECT{30, 45, 60, 75}, kInk, scene.font, DT_LEFT | DT_TOP | DT_SINGLELINE);
    drawGlyph(dc, L'O', RECT{80, 45, 120, 80}, kRed, scene.font);
}

LRESULT CALLBACK sceneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        return DefWindowProcW(window, message, wParam, lParam);
    }
    auto* scene = reinterpret_cast<Scene*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (scene && (message == WM_PAINT || message == WM_PRINTCLIENT)) {
        BufferedPaint paint(window, message == WM_PRINTCLIENT ? reinterpret_cast<HDC>(wParam) : nullptr);
        drawScene(paint.dc(), paint.client(), *scene);
        ++scene->paints;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The window's picture, read in Windows colours. The canvas it is printed into starts black.
struct Canvas {
    WindowPixels pixels;
    COLORREF at(int x, int y) const {
        const uint32_t v = pixels.at(x, y);
        return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
};

class Drawing : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = sceneProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QuillmapDrawTest";
        RegisterClassExW(&wc);
        font_.reset(MakeFont(L"DejaVu Sans", 120, FW_BOLD, 96));
        scene_.font = font_.get();
        window_ = CreateWindowExW(0, L"QuillmapDrawTest", L"", WS_POPUP, 0, 0, kWidth, kHeight, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), &scene_);
        ASSERT_NE(window_, nullptr);
        ASSERT_TRUE(captureClient(window_, canvas_.pixels));
    }
    void TearDown() override {
        if (window_) DestroyWindow(window_);
    }
    // Bounding box of the pixels in `area` that differ from the paper colour.
    RECT inked(const RECT& area) const {
        RECT box{area.right, area.bottom, area.left, area.top};
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x)
                if (canvas_.at(x, y) != kPaper) {
                    box.left = std::min<LONG>(box.left, x);
                    box.top = std::min<LONG>(box.top, y);
                    box.right = std::max<LONG>(box.right, x + 1);
                    box.bottom = std::max<LONG>(box.bottom, y + 1);
                }
        return box;
    }
    Scene scene_;
    FontHandle font_;
    Canvas canvas_;
    HWND window_ = nullptr;
};

std::string rgb(COLORREF c) { return colourText(c); }

}  // namespace

TEST_F(Drawing, PrintClientCopiesTheWholeBuffer) {
    EXPECT_EQ(scene_.paints, 1);
    EXPECT_EQ(rgb(canvas_.at(0, 0)), rgb(kPaper));
    EXPECT_EQ(rgb(canvas_.at(kWidth - 1, kHeight - 1)), rgb(kPaper));
}

TEST_F(Drawing, LinesAndFramesCoverExactlyTheirPixels) {
    struct Case {
        const char* what;
        int x, y;
        COLORREF expected;
    } cases[] = {
        {"line start", 10, 5, kRed},        {"line end", 19, 5, kRed},
        {"left of line", 9, 5, kPaper},     {"right end excluded", 20, 5, kPaper},
        {"above line", 15, 4, kPaper},      {"below line", 15, 6, kPaper},
        {"frame top-left", 30, 10, kBlue},  {"frame bottom-right", 39, 19, kBlue},
        {"frame top edge", 35, 10, kBlue},  {"frame left edge", 30, 15, kBlue},
        {"frame inside", 35, 15, kPaper},   {"frame outside right", 40, 15, kPaper},
        {"frame outside bottom", 35, 20, kPaper},
        {"round rect centre", 65, 25, kGreen}, {"round rect top edge", 65, 10, kInk},
        {"round rect left edge", 50, 25, kInk}, {"round rect corner cut", 50, 10, kPaper},
    };
    for (const Case& k : cases) EXPECT_EQ(rgb(canvas_.at(k.x, k.y)), rgb(k.expected)) << k.what;
}

TEST_F(Drawing, TextDrawsOnlyWhenThereIsText) {
    const RECT empty = inked(RECT{0, 45, 30, 60});
    EXPECT_GE(empty.left, empty.right) << "empty text left marks";
    const RECT w = inked(RECT{30, 45, 60, 75});
    EXPECT_LT(w.left, w.right) << "no ink for W";
    EXPECT_EQ(rgb(canvas_.at(30, 45)), rgb(kPaper)) << "background must stay transparent";
}

TEST_F(Drawing, GlyphIsCentred) {
    const RECT area{80, 45, 120, 80};
    const RECT box = inked(area);
    ASSERT_LT(box.left, box.right);
    EXPECT_LE(std::abs((box.left - area.left) - (area.right - box.right)), 2);
    EXPECT_LE(std::abs((box.top - area.top) - (area.bottom - box.bottom)), 4);
}

TEST_F(Drawing, MeasuringText) {
    HDC dc = GetDC(nullptr);
    EXPECT_EQ(measureText(dc, L"", font_.get()), 0);
    const int one = measureText(dc, L"abc", font_.get());
    EXPECT_GT(one, 0);
    EXPECT_EQ(measureText(dc, L"abcabc", font_.get()), 2 * one);
    // The DC's own font is restored afterwards.
    HGDIOBJ before = GetCurrentObject(dc, OBJ_FONT);
    measureText(dc, L"x", font_.get());
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), before);
    ReleaseDC(nullptr, dc);
}

TEST_F(Drawing, PaintValidatesTheWindow) {
    ShowWindow(window_, SW_SHOWNA);
    InvalidateRect(window_, nullptr, FALSE);
    UpdateWindow(window_);
    EXPECT_EQ(scene_.paints, 2);
    EXPECT_FALSE(GetUpdateRect(window_, nullptr, FALSE));
}
