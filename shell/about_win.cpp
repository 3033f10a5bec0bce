// The About window. Keeps its state on the stack of ShowAboutWindow; the window procedure only
// dispatches to the small handlers below.
#include "shell/about.h"

#include <shellapi.h>
#include <windowsx.h>

#include "appearance/colour.h"
#include "appearance/draw_win.h"
#include "appearance/glyphs.h"
#include "document/language.h"
#include "shell/mainwindow.h"
#include "shell/module.h"
#include "shell/windowstate_win.h"

namespace qm {

void (*aboutShownHook)(HWND) = nullptr;

namespace {

constexpr wchar_t kAppGlyph = kGlyphTree;

// Geometry in DIPs.
constexpr int kWidth = 440;
constexpr int kMargin = 24;               // around the content, the icon tile at (kMargin, kMargin)
constexpr int kTileSize = 48;
constexpr int kTileRadius = 8;
constexpr int kTitleLeft = 88;            // the title and the version, right of the tile
constexpr int kTitleBottom = 48;
constexpr int kVersionBottom = 68;
constexpr int kDescriptionTop = 88;
constexpr int kDescriptionPadding = 4;    // added to the description's measured height
constexpr int kCardGap = 16;              // between the description and the card
constexpr int kCardHeight = 88;           // two rows
constexpr int kCardRowHeight = 44;
constexpr int kCardRadius = 6;
constexpr int kCardTextInset = 40;        // the labels' left edge and the values' right inset
constexpr int kCardLabelRight = 150;
constexpr int kCardValueLeft = 154;
constexpr int kLinkTop = 56;              // the link's hot rectangle, from the card's top
constexpr int kLinkBottom = 76;
constexpr int kOkGap = 20;                // above and below the OK button
constexpr int kOkWidth = 96;
constexpr int kOkHeight = 32;
constexpr int kOkRadius = 4;

// Blend shares of the OK button's outline.
constexpr double kOkOutlineDark = 0.1;
constexpr double kOkOutlineLight = 0.15;

int S(const AboutState& s, int dips) { return s.palette->scale(dips); }
COLORREF C(const AboutState& s, ColorSlot slot) { return s.palette->color(slot); }

void paint(AboutState& s, HDC printDc) {
    BufferedPaint buffer(s.window, printDc);
    HDC dc = buffer.dc();
    const Palette& p = *s.palette;
    const int W = buffer.client().right;
    const UINT line = DT_SINGLELINE | DT_VCENTER;
    RECT all = buffer.client();
    BrushHandle chrome(CreateSolidBrush(C(s, ColorSlot::chrome)));
    FillRect(dc, &all, chrome.get());

    RECT tile{S(s, kMargin), S(s, kMargin), S(s, kMargin + kTileSize), S(s, kMargin + kTileSize)};
    fillRoundRect(dc, tile, S(s, kTileRadius), C(s, ColorSlot::accent), C(s, ColorSlot::accent));
    LOGFONTW lf{};
    GetObjectW(p.iconFont, sizeof lf, &lf);
    lf.lfHeight *= 2;
    FontHandle bigIcon(CreateFontIndirectW(&lf));
    drawGlyph(dc, kAppGlyph, tile, C(s, ColorSlot::accentText), bigIcon.get());

    const int right = W - S(s, kMargin);
    RECT title{S(s, kTitleLeft), S(s, kMargin), right, S(s, kTitleBottom)};
    drawText(dc, L"Quillmap", title, C(s, ColorSlot::text), p.titleFont, line);
    RECT version{S(s, kTitleLeft), S(s, kTitleBottom), right, S(s, kVersionBottom)};
    drawText(dc, std::wstring(L"Version ") + kProductVersion, version, C(s, ColorSlot::dimText), p.uiFont, line);
    RECT desc{S(s, kMargin), S(s, kDescriptionTop), right, S(s, kDescriptionTop) + s.descriptionHeight};
    drawText(dc, s.description, desc, C(s, ColorSlot::dimText), p.uiFont, DT_WORDBREAK);

    const int y0 = S(s, kDescriptionTop) + s.descriptionHeight + S(s, kCardGap);
    const int row = y0 + S(s, kCardRowHeight), bottom = y0 + S(s, kCardHeight);
    RECT card{S(s, kMargin), y0, right, bottom};
    fillRoundRect(dc, card, S(s, kCardRadius), C(s, ColorSlot::surface), C(s, ColorSlot::border));
    fillHLine(dc, S(s, kMargin + 1), W - S(s, kMargin + 1), row, C(s, ColorSlot::border));

    const int labelLeft = S(s, kCardTextInset), labelRight = S(s, kCardLabelRight);
    const int valueLeft = S(s, kCardValueLeft), valueRight = W - S(s, kCardTextInset);
    RECT label1{labelLeft, y0, labelRight, row};
    drawText(dc, tr(L"Developer", L"Entwickler"), label1, C(s, ColorSlot::dimText), p.uiFont, line);
    RECT name{valueLeft, y0, valueRight, row};
    drawText(dc, aboutDeveloper(), name, C(s, ColorSlot::text), p.uiFontSemibold, line);
    RECT label2{labelLeft, row, labelRight, bottom};
    drawText(dc, L"Website", label2, C(s, ColorSlot::dimText), p.uiFont, line);
    const int linkWidth = measureText(dc, aboutLinkText(), p.uiFont);
    s.linkRect = RECT{valueLeft, y0 + S(s, kLinkTop), valueLeft + linkWidth, y0 + S(s, kLinkBottom)};
    RECT link{valueLeft, row, valueRight, bottom};
    drawText(dc, aboutLinkText(), link, C(s, ColorSlot::accent), p.uiFont, line);
    if (s.hot == 1) fillHLine(dc, s.linkRect.left, s.linkRect.right, s.linkRect.bottom - 1, C(s, ColorSlot::accent));

    const COLORREF okPen =
        blend(C(s, ColorSlot::field), C(s, ColorSlot::text), p.isDark ? kOkOutlineDark : kOkOutlineLight);
    fillRoundRect(dc, s.okRect, S(s, kOkRadius), s.hot == 2 ? C(s, ColorSlot::hover) : C(s, ColorSlot::field), okPen);
    drawText(dc, L"OK", s.okRect, C(s, ColorSlot::text), p.uiFont, line | DT_CENTER);
}

void setHot(AboutState& s, int hot) {
    if (hot == s.hot) return;
    s.hot = hot;
    InvalidateRect(s.window, nullptr, FALSE);
    if (!s.trackingMouse) {
        TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, s.window, 0};
        s.trackingMouse = TrackMouseEvent(&tme) != FALSE;
    }
}

LRESULT onMouseMove(AboutState& s, LPARAM lParam) {
    POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    setHot(s, PtInRect(&s.linkRect, pt) ? 1 : PtInRect(&s.okRect, pt) ? 2 : 0);
    return 0;
}

LRESULT onMouseLeave(AboutState& s) {
    s.trackingMouse = false;
    s.hot = 0;
    InvalidateRect(s.window, nullptr, FALSE);
    return 0;
}

LRESULT onLButtonUp(AboutState& s, LPARAM lParam) {
    POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (PtInRect(&s.linkRect, pt))
        ShellExecuteW(s.window, L"open", aboutLinkAddress(), nullptr, nullptr, SW_SHOWNORMAL);
    else if (PtInRect(&s.okRect, pt))
        s.done = true;
    return 0;
}

LRESULT dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) return bindWindowState<AboutState>(window, message, wParam, lParam);
    AboutState* s = windowState<AboutState>(window);
    if (!s) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
        case WM_PAINT: paint(*s, nullptr); return 0;
        case WM_PRINTCLIENT: paint(*s, reinterpret_cast<HDC>(wParam)); return 0;
        case WM_ERASEBKGND: return 1;
        case WM_CLOSE: s->done = true; return 0;
        case WM_SETCURSOR:
            if (s->hot == 1 && LOWORD(lParam) == HTCLIENT) {
                SetCursor(LoadCursorW(nullptr, IDC_HAND));
                return TRUE;
            }
            break;
        case WM_MOUSEMOVE: return onMouseMove(*s, lParam);
        case WM_MOUSELEAVE: return onMouseLeave(*s);
        case WM_LBUTTONUP: return onLButtonUp(*s, lParam);
        case WM_NCDESTROY: unbindWindowState(window, *s); break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

std::wstring aboutDescription() {
    return tr(L"Quillmap shows XML, JSON, JSON Lines, YAML, TOML and registry files in the Lister as a "
              L"collapsible tree, as a grid of nested tables and as formatted, coloured source. Search "
              L"names and values, copy values, paths and subtrees, and edit single values in place.",
              L"Quillmap zeigt XML-, JSON-, JSON-Lines-, YAML-, TOML- und Registrierungsdateien im Lister als "
              L"aufklappbaren Baum, als Raster verschachtelter Tabellen und als formatierten, farbigen "
              L"Quelltext. Namen und Werte durchsuchen, Werte, Pfade und Teilbäume kopieren und einzelne "
              L"Werte direkt bearbeiten.");
}
const wchar_t* aboutDeveloper() { return L"The Quillmap developers"; }
const wchar_t* aboutLinkText() { return L"quillmap.example.org"; }
const wchar_t* aboutLinkAddress() { return L"https://quillmap.example.org/"; }

LRESULT CALLBACK AboutWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return dispatch(window, message, wParam, lParam);
    } catch (...) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void OpenAboutWindow(MainWindow& main) {
    if (main.window) ShowAboutWindow(main.window, main.palette, main.ActiveViewWindow());
}

void ShowAboutWindow(HWND mainWindow, const Palette& palette, HWND focusAfter) {
    AboutState s;
    s.palette = &palette;
    s.description = aboutDescription();
    HWND owner = GetAncestor(mainWindow, GA_ROOT);
    if (!owner) owner = mainWindow;

    const int width = palette.scale(kWidth);
    {
        ScreenDc screen;
        SelectObjectGuard font(screen.get(), palette.uiFont);
        RECT r{0, 0, width - 2 * palette.scale(kMargin), 0};
        DrawTextW(screen.get(), s.description.c_str(), int(s.description.size()), &r,
                  DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        s.descriptionHeight = (r.bottom - r.top) + palette.scale(kDescriptionPadding);
    }
    const int okTop = palette.scale(kDescriptionTop) + s.descriptionHeight + palette.scale(kCardGap) +
                      palette.scale(kCardHeight) + palette.scale(kOkGap);
    const int okRight = width - palette.scale(kMargin);
    s.okRect = RECT{okRight - palette.scale(kOkWidth), okTop, okRight, okTop + palette.scale(kOkHeight)};
    RECT frame{0, 0, width, okTop + palette.scale(kOkHeight) + palette.scale(kOkGap)};
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME);
    RECT ownerRect{};
    GetWindowRect(owner, &ownerRect);
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    const int x = (ownerRect.left + ownerRect.right - w) / 2, y = (ownerRect.top + ownerRect.bottom - h) / 2;
    std::wstring title = std::wstring(tr(L"About ", L"\u00DCber ")) + L"Quillmap";
    HWND window = CreateWindowExW(WS_EX_DLGMODALFRAME, kAboutClassName, title.c_str(), style, x, y, w, h, owner,
                                  nullptr, moduleHandle, &s);
    if (!window) return;
    SetDarkTitleBar(window, palette.isDark);

    EnableWindow(owner, FALSE);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    if (aboutShownHook) aboutShownHook(window);
    MSG msg;
    while (!s.done) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(int(msg.wParam));
            break;
        }
        if (got == -1) break;
        if (msg.message == WM_KEYDOWN &&
            (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE || msg.wParam == VK_SPACE))
            break;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    EnableWindow(owner, TRUE);
    DestroyWindow(window);
    SetActiveWindow(owner);
    if (focusAfter) SetFocus(focusAfter);
}

}  // namespace qm
