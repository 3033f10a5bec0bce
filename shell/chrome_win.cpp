// The main window's toolbar strip, search box and status bar: layout from shell/chrome.h,
// painting, hit testing and mouse handling of the hand-drawn buttons, the subclassed EDIT search
// box with its keys, and the tooltips of the search buttons.
#include <windows.h>
#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

#include "appearance/colour.h"
#include "appearance/draw_win.h"
#include "document/language.h"
#include "edit/nodetext.h"
#include "shell/about.h"
#include "shell/chrome.h"
#include "shell/chrome_win.h"
#include "shell/mainwindow.h"
#include "shell/search.h"

namespace qm {

namespace {

constexpr int kSearchBoxLimit = 200;     // characters the user can type into the search box
constexpr size_t kMaxSearchText = 255;   // characters a search reads from it (WM_SETTEXT is not limited)

// Blend shares of the chrome's derived colours.
constexpr double kFieldOutlineDark = 0.1;    // the search field's outline in dark mode
constexpr double kButtonOnTint = 0.22;       // a search button that is on
constexpr double kRegexOffText = 0.55;       // ".*" while regular expressions are off
constexpr double kSwitchOffHot = 0.75;       // an off switch's outline and knob, hovered
constexpr double kSwitchOff = 0.6;
constexpr double kSwitchOnHotTint = 0.12;    // an on switch's track, hovered

// The search box's WM_CHAR codes that would only beep: Ctrl+A, Enter and Escape.
constexpr WPARAM kCharSelectAll = 1;
constexpr WPARAM kCharReturn = 13;
constexpr WPARAM kCharEscape = 27;

RECT toRect(const Box& b) { return RECT{b.left, b.top, b.right, b.bottom}; }

int measureUi(const MainWindow& main, const std::wstring& text) {
    ScreenDc screen;
    return measureText(screen.get(), text, main.palette.uiFont);
}

bool itemActive(const MainWindow& main, const ToolbarItem& item) {
    return isItemActive(item.action, main.settings.activeView);
}

LRESULT CALLBACK searchBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam);

void placeSearchBox(MainWindow& main, const RECT& rect) {
    const bool empty = rect.right <= rect.left;
    if (!main.chrome.searchBox && !empty) {
        main.chrome.searchBox =
            CreateWindowExW(0, L"EDIT", L"", WS_CHILD | ES_AUTOHSCROLL, 0, 0, 0, 0, main.window, nullptr,
                            reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(main.window, GWLP_HINSTANCE)), nullptr);
        if (main.chrome.searchBox) {
            SendMessageW(main.chrome.searchBox, WM_SETFONT, reinterpret_cast<WPARAM>(main.palette.uiFont.get()), FALSE);
            SetWindowLongPtrW(main.chrome.searchBox, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&main));
            main.chrome.searchBoxProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(main.chrome.searchBox, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(searchBoxProc)));
            const int margin = main.palette.scale(kSearchBoxMargin);
            SendMessageW(main.chrome.searchBox, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN,
                         MAKELPARAM(margin, margin));
            SendMessageW(main.chrome.searchBox, EM_SETCUEBANNER, TRUE,
                         reinterpret_cast<LPARAM>(tr(L"Search", L"Suchen")));
            SendMessageW(main.chrome.searchBox, EM_LIMITTEXT, kSearchBoxLimit, 0);
        }
    }
    if (!main.chrome.searchBox) return;
    if (empty) {
        if (GetFocus() == main.chrome.searchBox) SetFocus(main.ActiveViewWindow());
        ShowWindow(main.chrome.searchBox, SW_HIDE);
        return;
    }
    TEXTMETRICW tm{};
    {
        ScreenDc screen;
        SelectObjectGuard font(screen.get(), main.palette.uiFont);
        GetTextMetricsW(screen.get(), &tm);
    }
    const int height = tm.tmHeight + kSearchBoxExtraPixels;
    const int top = (rect.top + rect.bottom) / 2 - height / 2;
    SetWindowPos(main.chrome.searchBox, nullptr, rect.left + main.palette.scale(kSearchBoxInset), top,
                 (rect.right - rect.left) - main.palette.scale(2 * kSearchBoxInset), height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(main.chrome.searchBox, SW_SHOWNA);
}

void rebuildTooltips(MainWindow& main) {
    if (!main.chrome.tooltip) {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
        InitCommonControlsEx(&icc);
        main.chrome.tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                              WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                                              CW_USEDEFAULT, CW_USEDEFAULT, main.window, nullptr, nullptr, nullptr);
    }
    if (!main.chrome.tooltip) return;
    for (const ToolbarItem& item : main.chrome.toolbarItems) {
        if (item.action != kActionSearchButton && item.action != kActionPreviousMatch &&
            item.action != kActionNextMatch && item.action != kActionRegexToggle &&
            item.action != kActionFilterToggle && !item.iconOnly)
            continue;
        if (!itemActive(main, item)) continue;  // the switches share a place: only the view's own tells
        TOOLINFOW ti{};
        ti.cbSize = sizeof ti;
        ti.uFlags = TTF_SUBCLASS;
        ti.hwnd = main.window;
        ti.uId = UINT_PTR(item.action);
        ti.rect = item.rect;
        ti.lpszText = const_cast<wchar_t*>(item.label.c_str());
        SendMessageW(main.chrome.tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    }
}

void removeTooltips(MainWindow& main) {
    if (!main.chrome.tooltip) return;
    for (const ToolbarItem& item : main.chrome.toolbarItems) {
        TOOLINFOW ti{};
        ti.cbSize = sizeof ti;
        ti.hwnd = main.window;
        ti.uId = UINT_PTR(item.action);
        SendMessageW(main.chrome.tooltip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    }
}

COLORREF slot(const MainWindow& main, ColorSlot s) { return main.palette.color(s); }

RECT shrink(RECT r, int by) { return RECT{r.left + by, r.top + by, r.right - by, r.bottom - by}; }

int selectedTabAction(const MainWindow& main) { return kActionTreeTab + main.settings.activeView; }

void paintButton(const MainWindow& main, HDC dc, int index, const ToolbarItem& item) {
    const Palette& p = main.palette;
    const bool isTab = item.action >= kActionTreeTab && item.action <= kActionSourceTab;
    const bool selected = isTab && item.action == selectedTabAction(main);
    const bool hot = index == main.chrome.hotItem;
    const bool pressed = index == main.chrome.pressedItem;
    if (selected) {
        RECT r = shrink(item.rect, p.scale(kTabInset));
        const COLORREF fill = p.isDark ? slot(main, ColorSlot::field) : slot(main, ColorSlot::chrome);
        fillRoundRect(dc, r, p.scale(kItemRadius), fill, fill);
        const int centre = (r.left + r.right) / 2;
        RECT bar{centre - p.scale(kTabBarHalfWidth), r.bottom - p.scale(kTabBarHeight),
                 centre + p.scale(kTabBarHalfWidth), r.bottom};
        fillRoundRect(dc, bar, p.scale(kTabBarRadius), slot(main, ColorSlot::accent), slot(main, ColorSlot::accent));
    } else if (hot) {
        RECT r = isTab ? shrink(item.rect, p.scale(kTabInset)) : item.rect;
        const COLORREF fill = pressed ? slot(main, ColorSlot::pressed) : slot(main, ColorSlot::hover);
        fillRoundRect(dc, r, p.scale(kItemRadius), fill, fill);
    }
    const COLORREF textColour = (isTab && !selected) ? slot(main, ColorSlot::dimText) : slot(main, ColorSlot::text);
    if (item.iconOnly) {
        drawGlyph(dc, item.glyph, item.rect, textColour, p.smallIconFont);
    } else if (!item.label.empty()) {
        RECT glyph{item.rect.left + p.scale(kButtonGlyphLeft), item.rect.top,
                   item.rect.left + p.scale(kButtonGlyphRight), item.rect.bottom};
        drawGlyph(dc, item.glyph, glyph, selected ? slot(main, ColorSlot::accent) : textColour,
                  isTab ? p.iconFont : p.smallIconFont);
        RECT label{item.rect.left + p.scale(kButtonLabelLeft), item.rect.top, item.rect.right, item.rect.bottom};
        drawText(dc, item.label, label, textColour, p.uiFont, DT_SINGLELINE | DT_VCENTER);
    } else {
        drawGlyph(dc, item.glyph, item.rect, slot(main, ColorSlot::text), p.iconFont);
    }
}

void paintSearchField(const MainWindow& main, HDC dc, const ToolbarItem& item) {
    const Palette& p = main.palette;
    COLORREF outline;
    if (main.chrome.searchFailed)
        outline = slot(main, ColorSlot::searchFailed);
    else if (main.chrome.searchBox && GetFocus() == main.chrome.searchBox)
        outline = slot(main, ColorSlot::accent);
    else if (p.isDark)
        outline = blend(slot(main, ColorSlot::field), slot(main, ColorSlot::text), kFieldOutlineDark);
    else
        outline = slot(main, ColorSlot::border);
    fillRoundRect(dc, item.rect, p.scale(kItemRadius), slot(main, ColorSlot::field), outline);
}

void paintSearchButton(const MainWindow& main, HDC dc, int index, const ToolbarItem& item) {
    const Palette& p = main.palette;
    const bool on = (item.action == kActionSearchButton && main.chrome.searchOpen) ||
                    (item.action == kActionRegexToggle && main.settings.searchRegex) ||
                    (item.action == kActionFilterToggle && main.settings.searchFilter);
    const COLORREF chrome = slot(main, ColorSlot::chrome);
    COLORREF background = chrome;
    if (index == main.chrome.pressedItem)
        background = slot(main, ColorSlot::pressed);
    else if (index == main.chrome.hotItem)
        background = slot(main, ColorSlot::hover);
    else if (on)
        background = blend(chrome, slot(main, ColorSlot::accent), kButtonOnTint);
    if (background != chrome) fillRoundRect(dc, item.rect, p.scale(kItemRadius), background, background);
    const COLORREF fore = on ? slot(main, ColorSlot::accent) : slot(main, ColorSlot::text);
    if (item.action == kActionRegexToggle) {
        const COLORREF regexText =
            on ? slot(main, ColorSlot::accent) : blend(chrome, slot(main, ColorSlot::text), kRegexOffText);
        drawText(dc, L".*", item.rect, regexText, p.uiFont, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    } else {
        drawGlyph(dc, item.glyph, item.rect, fore, item.action == kActionSearchButton ? p.iconFont : p.smallIconFont);
    }
}

void paintSwitch(const MainWindow& main, HDC dc, int index, const ToolbarItem& item) {
    const Palette& p = main.palette;
    const bool on = item.action == kActionAutoFit ? main.settings.autoFit : main.settings.showCounts;
    const bool hot = index == main.chrome.hotItem;
    RECT label = item.rect;
    label.right -= p.scale(kSwitchLabelGap);
    if (!item.iconOnly)
        drawText(dc, item.label, label, slot(main, ColorSlot::text), p.uiFont,
                 DT_SINGLELINE | DT_VCENTER | DT_RIGHT | DT_END_ELLIPSIS);
    const int trackHeight = p.scale(kSwitchTrackHeight);
    const int top = (item.rect.top + item.rect.bottom - trackHeight) / 2;
    RECT track{item.rect.right - p.scale(kSwitchTrackWidth), top, item.rect.right, top + trackHeight};
    const int radius = (trackHeight / 2) & ~1;  // corner diameter rounded down to even
    const COLORREF chrome = slot(main, ColorSlot::chrome);
    const COLORREF off = blend(chrome, slot(main, ColorSlot::text), hot ? kSwitchOffHot : kSwitchOff);
    COLORREF knob;
    if (on) {
        const COLORREF accent = slot(main, ColorSlot::accent);
        fillRoundRect(dc, track, radius, hot ? blend(accent, chrome, kSwitchOnHotTint) : accent, accent);
        knob = slot(main, ColorSlot::accentText);
    } else {
        fillRoundRect(dc, track, radius, hot ? slot(main, ColorSlot::hover) : chrome, off);
        knob = off;
    }
    const int d = p.scale(hot ? kSwitchKnobHot : kSwitchKnob);
    const int kx = on ? track.right - p.scale(kSwitchKnobInset) - d : track.left + p.scale(kSwitchKnobInset);
    const int ky = (track.top + track.bottom - d) / 2;
    RECT knobRect{kx, ky, kx + d, ky + d};
    fillRoundRect(dc, knobRect, d / 2, knob, knob);
}

// The search box's text, at most kMaxSearchText characters of it.
std::wstring searchBoxText(const MainWindow& main) {
    wchar_t buffer[kMaxSearchText + 1] = {};
    if (main.chrome.searchBox) GetWindowTextW(main.chrome.searchBox, buffer, int(kMaxSearchText + 1));
    return buffer;
}

void runAction(MainWindow& main, int32_t action) {
    switch (action) {
        case kActionTreeTab: main.SwitchView(kViewTree); break;
        case kActionGridTab: main.SwitchView(kViewGrid); break;
        case kActionSourceTab: main.SwitchView(kViewSource); break;
        case kActionExpandAll: main.ExpandCollapseAll(true); break;
        case kActionCollapseAll: main.ExpandCollapseAll(false); break;
        case kActionAbout: OpenAboutWindow(main); break;
        case kActionAutoFit: main.SetAutoFit(!main.settings.autoFit); break;
        case kActionCounts: main.SetShowCounts(!main.settings.showCounts); break;
        case kActionSearchButton:
            main.chrome.searchOpen = !main.chrome.searchOpen;
            LayoutChrome(main);
            if (main.chrome.searchOpen && main.chrome.searchBox && IsWindowVisible(main.chrome.searchBox))
                SetFocus(main.chrome.searchBox);
            break;
        case kActionSearchField: FocusSearchBox(main); break;
        case kActionPreviousMatch: RunSearchFromBox(main, true); break;
        case kActionNextMatch: RunSearchFromBox(main, false); break;
        case kActionRegexToggle:
            main.settings.searchRegex = !main.settings.searchRegex;
            main.chrome.searchFailed = false;
            main.chrome.searchOutcome = SearchOutcome::Found;
            main.SaveSettings();
            FocusSearchBox(main);
            InvalidateRect(main.window, nullptr, FALSE);
            break;
        case kActionFilterToggle:
            main.settings.searchFilter = !main.settings.searchFilter;
            main.SaveSettings();
            if (main.settings.searchFilter)
                RunSearchFromBox(main, false);
            else
                ClearFilter(main);
            FocusSearchBox(main);
            InvalidateRect(main.window, nullptr, FALSE);
            break;
        default: break;
    }
}

LRESULT onSearchBoxKey(MainWindow& main, HWND box, WPARAM key) {
    switch (key) {
        case VK_RETURN:
        case VK_F3: RunSearchFromBox(main, GetKeyState(VK_SHIFT) < 0); return 0;
        case VK_ESCAPE:
            if (StopSlicedWork(main)) return 0;  // the first Escape stops a running filter or copy
            SetFocus(main.ActiveViewWindow());
            if (main.settings.searchMode == kSearchFieldBehindButton) {
                main.chrome.searchOpen = false;
                LayoutChrome(main);
            }
            return 0;
        default:
            if (key == 'A' && GetKeyState(VK_CONTROL) < 0) {
                SendMessageW(box, EM_SETSEL, 0, -1);
                return 0;
            }
            return CallWindowProcW(main.chrome.searchBoxProc, box, WM_KEYDOWN, key, 0);
    }
}

LRESULT CALLBACK searchBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* main = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(box, GWLP_USERDATA));
    if (!main || !main->chrome.searchBoxProc) return DefWindowProcW(box, message, wParam, lParam);
    try {
        switch (message) {
            case WM_GETDLGCODE:
                return CallWindowProcW(main->chrome.searchBoxProc, box, message, wParam, lParam) | DLGC_WANTALLKEYS;
            case WM_KEYDOWN:
                if (wParam == VK_RETURN || wParam == VK_F3 || wParam == VK_ESCAPE ||
                    (wParam == 'A' && GetKeyState(VK_CONTROL) < 0))
                    return onSearchBoxKey(*main, box, wParam);
                break;
            case WM_CHAR:
                if (wParam == kCharSelectAll || wParam == kCharReturn || wParam == kCharEscape) return 0;
                break;
            case WM_SETFOCUS:
            case WM_KILLFOCUS: {
                LRESULT r = CallWindowProcW(main->chrome.searchBoxProc, box, message, wParam, lParam);
                InvalidateRect(main->window, nullptr, FALSE);
                return r;
            }
            case WM_NCDESTROY: {
                WNDPROC previous = main->chrome.searchBoxProc;
                SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
                SetWindowLongPtrW(box, GWLP_USERDATA, 0);
                main->chrome.searchBox = nullptr;
                return CallWindowProcW(previous, box, message, wParam, lParam);
            }
        }
        return CallWindowProcW(main->chrome.searchBoxProc, box, message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

}  // namespace

void LayoutChrome(MainWindow& main) {
    if (!main.window) return;
    RECT client{};
    GetClientRect(main.window, &client);
    ChromeInput in;
    in.width = client.right - client.left;
    in.height = client.bottom - client.top;
    in.buttonsMode = main.settings.buttonsMode;
    in.searchMode = main.settings.searchMode;
    in.searchOpen = main.chrome.searchOpen;
    if (main.document) in.statusTextWidth = measureUi(main, statusText(*main.document));
    in.scale = [&main](int dips) { return main.palette.scale(dips); };
    in.labelWidth = [&main](const std::wstring& text) { return measureUi(main, text); };
    ChromeLayout layout = layoutChromeItems(in);

    main.chrome.toolbarRect = toRect(layout.toolbar);
    main.chrome.statusRect = toRect(layout.status);
    for (HWND view : {main.treePane.window, main.gridPane.window, main.sourcePane.window})
        if (view) MoveWindow(view, 0, layout.view.top, in.width, layout.view.height(), TRUE);
    removeTooltips(main);
    main.chrome.toolbarItems.clear();
    for (const ChromeItem& c : layout.items) {
        ToolbarItem item;
        item.action = c.action;
        item.glyph = c.glyph;
        item.label = c.label;
        item.rect = toRect(c.rect);
        item.iconOnly = c.iconOnly;
        main.chrome.toolbarItems.push_back(std::move(item));
    }
    if (main.chrome.hotItem >= int(main.chrome.toolbarItems.size())) main.chrome.hotItem = -1;
    if (main.chrome.pressedItem >= int(main.chrome.toolbarItems.size())) main.chrome.pressedItem = -1;
    placeSearchBox(main, toRect(layout.searchField));
    rebuildTooltips(main);
    InvalidateRect(main.window, nullptr, FALSE);
}

void PaintChrome(MainWindow& main, HDC dc, const RECT& client) {
    const Palette& p = main.palette;
    BrushHandle chrome(CreateSolidBrush(slot(main, ColorSlot::chrome)));
    FillRect(dc, &client, chrome.get());
    const int W = client.right - client.left;
    if (main.settings.buttonsMode == kButtonsTop)
        fillHLine(dc, 0, W, main.chrome.toolbarRect.bottom - 1, slot(main, ColorSlot::border));
    fillHLine(dc, 0, W, main.chrome.statusRect.top, slot(main, ColorSlot::border));

    if (main.settings.buttonsMode != kButtonsHidden) {
        const ToolbarItem *tree = nullptr, *source = nullptr;
        for (const ToolbarItem& item : main.chrome.toolbarItems) {
            if (item.action == kActionTreeTab) tree = &item;
            if (item.action == kActionSourceTab) source = &item;
        }
        if (tree && source) {
            RECT group{tree->rect.left, tree->rect.top, source->rect.right, tree->rect.bottom};
            const COLORREF fill = p.isDark ? slot(main, ColorSlot::surface) : slot(main, ColorSlot::field);
            fillRoundRect(dc, group, p.scale(kTabGroupRadius), fill, slot(main, ColorSlot::border));
        }
    }
    int statusLeft = p.scale(kStatusTextMinLeft);
    for (size_t i = 0; i < main.chrome.toolbarItems.size(); ++i) {
        const ToolbarItem& item = main.chrome.toolbarItems[i];
        if (!itemActive(main, item)) continue;
        if (item.rect.top >= main.chrome.statusRect.top)
            statusLeft = std::max<int>(statusLeft, item.rect.right + p.scale(kStatusTextGap));
        switch (item.action) {
            case kActionSearchField: paintSearchField(main, dc, item); break;
            case kActionSearchButton:
            case kActionPreviousMatch:
            case kActionNextMatch:
            case kActionRegexToggle:
            case kActionFilterToggle: paintSearchButton(main, dc, int(i), item); break;
            case kActionAutoFit:
            case kActionCounts: paintSwitch(main, dc, int(i), item); break;
            default: paintButton(main, dc, int(i), item); break;
        }
    }
    if (!main.document) return;
    const Document& doc = *main.document;
    std::wstring status = statusText(doc);
    // While the grid is built for a filter, its progress shows alone.
    if (main.filterRun && main.filterRun->step != MainWindow::FilterRun::Step::Building)
        status = filterProgressText(filterProgress(doc, main.filterRun->pass)) + L"   " + status;
    else if (main.filter.active)
        status = filterStatusText(main.filter.matched) + L"   " + status;
    if (main.tableCopy) status = copyProgressText(main.tableCopy->Progress()) + L"   " + status;
    if (main.gridPane.sortRun) status = sortProgressText(main.gridPane.sortRun->pass.Progress()) + L"   " + status;
    if (const GridPane::BuildRun* run = main.gridPane.buildRun.get())
        status = (run->switching || run->filtering || run->subtree ? gridBuildProgressText(run->pass->Progress())
                                 : bulkProgressText(run->expand, run->pass->Progress())) +
                 L"   " + status;
    if (main.searchRun) status = searchProgressText(searchProgress(*main.searchRun)) + L"   " + status;
    if (main.sourcePane.copyRun) status = sourceCopyProgressText(main.sourcePane.CopyProgress()) + L"   " + status;
    const COLORREF statusColour = !doc.errorMessage.empty() || doc.modified ? slot(main, ColorSlot::warning)
                                                                              : slot(main, ColorSlot::dimText);
    // The status text first (the items left it room), the path in what remains, never less than
    // its minimum while the status text can give way.
    const int width = std::min(measureText(dc, status, p.uiFont),
                               std::max(0, W - statusLeft - p.scale(kStatusRightInset) - p.scale(kStatusPathGap) -
                                               p.scale(kStatusPathMinWidth)));
    const int right = W - p.scale(kStatusRightInset);
    RECT statusRect{right - width, main.chrome.statusRect.top, right, main.chrome.statusRect.bottom};
    drawText(dc, status, statusRect, statusColour, p.uiFont, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
    RECT pathRect{statusLeft, main.chrome.statusRect.top, statusRect.left - p.scale(kStatusPathGap), main.chrome.statusRect.bottom};
    const std::wstring searchMessage =
        main.chrome.notice.empty() ? std::wstring(searchOutcomeText(main.chrome.searchOutcome)) : main.chrome.notice;
    if (!searchMessage.empty()) {
        drawText(dc, searchMessage, pathRect, slot(main, ColorSlot::warning), p.uiFont,
                 DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
    } else if (main.selected) {
        drawText(dc, nodePath(main.selected, doc.format), pathRect, slot(main, ColorSlot::dimText), p.uiFont,
                 DT_SINGLELINE | DT_VCENTER | DT_PATH_ELLIPSIS);
    }
}

void FocusSearchBox(MainWindow& main) {
    if (main.settings.searchMode == kSearchFieldBehindButton && !main.chrome.searchOpen &&
        main.settings.buttonsMode != kButtonsHidden) {
        main.chrome.searchOpen = true;
        LayoutChrome(main);
    }
    if (main.chrome.searchBox && IsWindowVisible(main.chrome.searchBox)) {
        SetFocus(main.chrome.searchBox);
        SendMessageW(main.chrome.searchBox, EM_SETSEL, 0, -1);
        InvalidateRect(main.window, nullptr, FALSE);
    }
}

void RunSearchFromBox(MainWindow& main, bool backwards) {
    const std::wstring text = searchBoxText(main);
    if (text.empty()) return;
    // With the filter on, a new text (or switch) filters first; the same one again steps
    // through the matches the filter kept.
    const unsigned filterFlags = main.settings.searchRegex ? kSearchRegex : 0;
    // A filter still being worked out for this text goes on: Enter again does not start it anew.
    if (main.filterRun && main.filterRun->text == text && main.filterRun->flags == filterFlags) return;
    if (main.settings.searchFilter && main.settings.activeView != kViewSource &&
        (!main.filter.active || main.filter.text != text || main.filter.flags != filterFlags)) {
        ApplyFilter(main, text, filterFlags);
        return;
    }
    const int flags = (main.settings.searchRegex ? kSearchRegex : 0) | (backwards ? kSearchBackwards : 0);
    // The box's search wraps around within the one search, so it never tests a node twice.
    const SearchOutcome outcome = Search(main, text, flags, true);
    // A search that goes on in slices marks the box when it ends.
    if (outcome != SearchOutcome::Running) main.chrome.searchFailed = outcome != SearchOutcome::Found;
    InvalidateRect(main.window, nullptr, FALSE);
}

LRESULT ChromeMouseMessage(MainWindow& main, UINT message, LPARAM lParam) {
    const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    auto hit = [&] {
        for (size_t i = 0; i < main.chrome.toolbarItems.size(); ++i) {
            const ToolbarItem& item = main.chrome.toolbarItems[i];
            POINT pt{x, y};
            if (PtInRect(&item.rect, pt) && itemActive(main, item)) return int(i);
        }
        return -1;
    };
    switch (message) {
        case WM_MOUSEMOVE: {
            int h = hit();
            if (h != main.chrome.hotItem) {
                main.chrome.hotItem = h;
                InvalidateRect(main.window, nullptr, FALSE);
            }
            if (!main.chrome.trackingMouse) {
                TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, main.window, 0};
                main.chrome.trackingMouse = TrackMouseEvent(&tme) != FALSE;
            }
            return 0;
        }
        case WM_LBUTTONDOWN:
            main.chrome.pressedItem = hit();
            if (main.chrome.pressedItem >= 0) SetCapture(main.window);
            InvalidateRect(main.window, nullptr, FALSE);
            return 0;
        case WM_LBUTTONUP: {
            const int h = hit();
            const int pressed = main.chrome.pressedItem;
            main.chrome.pressedItem = -1;
            if (GetCapture() == main.window) ReleaseCapture();
            InvalidateRect(main.window, nullptr, FALSE);
            if (h >= 0 && h == pressed) runAction(main, main.chrome.toolbarItems[size_t(h)].action);
            return 0;
        }
        case WM_MOUSELEAVE:
            main.chrome.trackingMouse = false;
            main.chrome.hotItem = -1;
            InvalidateRect(main.window, nullptr, FALSE);
            return 0;
    }
    return 0;
}

LRESULT ChromeCommand(MainWindow& main, WPARAM wParam, LPARAM lParam) {
    if (main.chrome.searchBox && reinterpret_cast<HWND>(lParam) == main.chrome.searchBox && HIWORD(wParam) == EN_CHANGE) {
        if (main.chrome.searchFailed || main.chrome.searchOutcome != SearchOutcome::Found) {
            main.chrome.searchFailed = false;
            main.chrome.searchOutcome = SearchOutcome::Found;  // the status bar shows the path again
            InvalidateRect(main.window, nullptr, FALSE);
        }
        if (main.highlight.highlightActive && GetWindowTextLengthW(main.chrome.searchBox) == 0) {
            main.highlight.highlightActive = false;
            main.RepaintActiveView();
        }
        if ((main.filter.active || main.filterRun) && GetWindowTextLengthW(main.chrome.searchBox) == 0) ClearFilter(main);
    }
    return 0;
}

LRESULT ChromeCtlColorEdit(MainWindow& main, HDC dc) {
    SetTextColor(dc, slot(main, ColorSlot::text));
    SetBkColor(dc, slot(main, ColorSlot::field));
    if (!main.chrome.searchBrush) main.chrome.searchBrush.reset(CreateSolidBrush(slot(main, ColorSlot::field)));
    return reinterpret_cast<LRESULT>(main.chrome.searchBrush.get());
}

}  // namespace qm
