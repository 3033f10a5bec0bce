// The tree view window: keeps its rows, expansion and scroll position in step with the main
// window's document and selection, paints only the visible rows, and turns keys, clicks, the
// wheel and splitter drags into the pane's operations.
#include "views/tree_win.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <climits>

#include "appearance/colour.h"
#include "appearance/draw_win.h"
#include "appearance/glyphs.h"
#include "document/embedded.h"
#include "edit/editing.h"
#include "shell/filter.h"
#include "shell/search.h"
#include "edit/nodetext.h"
#include "shell/mainwindow.h"
#include "views/viewwindow_win.h"

namespace qm {

namespace {

constexpr wchar_t kChevronDown = kGlyphChevronDown;
constexpr wchar_t kChevronRight = kGlyphChevronRight;
constexpr int kContextMenuOffsetDips = 40;
constexpr size_t kTreeTipMaxChars = 2000;  // a longer label or value is cut in its tooltip
constexpr int kTreeTipWidth = 600;         // DIPs: wider tooltips wrap
constexpr double kBadgeTintDark = 0.24, kBadgeTintLight = 0.13;
constexpr double kPillTintDark = 0.14, kPillTintLight = 0.08;
constexpr UINT kLineFormat = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
constexpr UINT kCentredFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;

const Node* documentRoot(const MainWindow* main) {
    return main && main->document ? main->document->root : nullptr;
}

int clientWidth(HWND window) {
    RECT rc{};
    GetClientRect(window, &rc);
    return rc.right - rc.left;
}

}  // namespace

// ---- pane operations ----

int TreePane::PageRows() const {
    RECT rc{};
    if (window) GetClientRect(window, &rc);
    return pageRows(rc.bottom - rc.top, mainWindow->palette.rowHeight);
}

int TreePane::NameColumnWidth() const {
    return nameColumnPixels(window ? clientWidth(window) : 0, nameColumnWidth, mainWindow->palette.dpi);
}

void TreePane::Repaint() const {
    if (window) InvalidateRect(window, nullptr, FALSE);
}

void TreePane::RebuildRows() { rows.build(documentRoot(mainWindow), &expanded, mainWindow->filter.active); }

void TreePane::FindSelectedRow() { selectedRow = findRow(rows, mainWindow->selected); }

void TreePane::UpdateScrollBar() {
    const int page = PageRows();
    topRow = clampTopRow(topRow, rows.size(), page);
    if (!window) return;
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    si.nMin = 0;
    si.nMax = rows.empty() ? 0 : static_cast<int>(rows.size() - 1);
    si.nPage = static_cast<UINT>(page);
    si.nPos = static_cast<int>(topRow);
    SetScrollInfo(window, SB_VERT, &si, TRUE);
}

void TreePane::ScrollTo(long long row) {
    const unsigned target = clampTopRow(row, rows.size(), PageRows());
    if (target == topRow) return;
    topRow = target;
    if (window) SetScrollPos(window, SB_VERT, static_cast<int>(topRow), TRUE);
    Repaint();
}

void TreePane::EnsureRowVisible(int32_t row) {
    const unsigned target = topRowShowing(row, topRow, rows.size(), PageRows());
    if (target != topRow) ScrollTo(target);
}

void TreePane::SelectRow(int32_t row) {
    if (rows.empty()) return;
    row = std::max<int32_t>(0, std::min<int32_t>(row, static_cast<int32_t>(rows.size()) - 1));
    selectedRow = row;
    mainWindow->SelectNode(rows[row].node);
    EnsureRowVisible(row);
    Repaint();
}

void TreePane::ToggleRow(int32_t row) {
    if (row < 0 || static_cast<size_t>(row) >= rows.size() || !rows[row].expandable) return;
    Node* node = rows[row].node;
    if (awaitsOpening(node)) {
        expanded.erase(node);  // a string edited since it was last open
        if (!mainWindow->OpenEmbedded(node)) {
            RebuildRows();  // its text is no JSON: the expander goes
            FindSelectedRow();
            UpdateScrollBar();
            Repaint();
            return;
        }
    }
    if (!expanded.erase(node)) expanded.insert(node);
    RebuildRows();
    FindSelectedRow();
    if (selectedRow < 0 && mainWindow->selected) {
        // A collapse hid the selection: the collapsed node takes it over.
        mainWindow->SelectNode(node);
        FindSelectedRow();
    }
    UpdateScrollBar();
    Repaint();
}

void TreePane::ResetForDocument() {
    expanded.clear();
    // "Expand all" and expanding a subtree then mark a bit per node rather than fill the set.
    if (mainWindow->document) expanded.bind(mainWindow->document->nodes);
    topRow = 0;
    expandTopLevel(documentRoot(mainWindow), expanded);
    RebuildRows();
    FindSelectedRow();
    UpdateScrollBar();
    Repaint();
}

void TreePane::RevealNode(const Node* node) {
    if (!mainWindow->filter.active) expandAncestors(node, expanded);
    RebuildRows();
    FindSelectedRow();
    UpdateScrollBar();
    if (selectedRow >= 0) EnsureRowVisible(selectedRow);
    Repaint();
}

void TreePane::ExpandAll(bool expand) {
    expanded.clear();
    if (mainWindow->document) {
        if (expand)
            expandEverything(*mainWindow->document, expanded);
        else
            expandTopLevel(documentRoot(mainWindow), expanded);
    }
    RebuildRows();
    FindSelectedRow();
    if (selectedRow < 0 && mainWindow->selected) {
        mainWindow->SelectNode(collapsedStandIn(mainWindow->selected, expanded));
        FindSelectedRow();
    }
    UpdateScrollBar();
    if (selectedRow >= 0) EnsureRowVisible(selectedRow);
    Repaint();
}

void TreePane::ExpandSubtree(const Node* node) {
    // The node itself may be a string whose JSON the user opens this way; the strings below it
    // stay closed, as with "Expand all".
    mainWindow->OpenEmbedded(const_cast<Node*>(node));
    // The nodes that opening made get bits too.
    if (mainWindow->document) expanded.bind(mainWindow->document->nodes);
    // The subtree of the whole document is marked in the store's order, as "Expand all" does: a
    // walk down the tree visits the same nodes slower.
    if (mainWindow->document && subtreeHoldsEveryRow(documentRoot(mainWindow), node))
        expandEverything(*mainWindow->document, expanded);
    else
        expandSubtree(node, expanded);
    RebuildRows();
    FindSelectedRow();
    UpdateScrollBar();
    Repaint();
}

// ---- painting ----

namespace {

struct RowPainter {
    const TreePane& pane;
    const Palette& pal;
    HDC dc;
    int clientRight;
    int nameColumn;
    bool focused;
    bool isDataFormat;

    int px(int dips) const { return pal.scale(dips); }

    void paint(const TreeRow& row, int index, int top) const {
        const int rowHeight = pal.rowHeight;
        const int bottom = top + rowHeight;
        const Node* node = row.node;
        const bool isSelected = index == pane.selectedRow;
        const COLORREF rowBackground =
            isSelected ? pal.color(focused ? ColorSlot::selection : ColorSlot::inactiveSelection)
                       : pal.color(ColorSlot::background);
        if (isSelected) {
            RECT full{0, top, clientRight, bottom};
            BrushHandle brush(CreateSolidBrush(rowBackground));
            FillRect(dc, &full, brush.get());
        }
        fillHLine(dc, nameColumn, clientRight, bottom - 1, pal.color(ColorSlot::headerBackground));
        const bool isOpen = row.expandable && pane.expanded.count(node);
        const MainWindow& main = *pane.mainWindow;
        const bool highlighting = main.highlight.highlightActive;
        const bool current = IsCurrentMatch(main, node);
        paintName(row, top, rowBackground, current);

        const TreeValue value = treeValue(node, isOpen, pane.mainWindow->settings.showCounts, row.expandable);
        RECT valueRect{nameColumn + px(kTreeValueInset), top, clientRight - px(kTreeRightInset), bottom};
        if (highlighting)
            PaintSearchHighlights(main, dc, value.text.c_str(), value.text.size(), pal.contentFont, valueRect, current, -1);
        drawText(dc, value.text, valueRect, pal.color(value.slot), pal.contentFont, kLineFormat);
    }

    // Guides, chevron, badge, label, tag and count pill, all kept inside the name column: a deep
    // row is cut at the splitter rather than drawn over the values.
    void paintName(const TreeRow& row, int top, COLORREF rowBackground, bool current) const {
        const int rowHeight = pal.rowHeight;
        const int bottom = top + rowHeight;
        const Node* node = row.node;
        const ClipGuard clip(dc, RECT{0, top, nameColumn, bottom});
        const int indent = px(kTreeIndent);
        {
            // Only the guides that fall inside the column are drawn: a deep row costs the column's
            // width, not its depth.
            BrushHandle guide(CreateSolidBrush(pal.color(ColorSlot::gridLine)));
            for (unsigned d = 0; d < row.depth; ++d) {
                const long long gx = px(kTreeLeftMargin) + static_cast<long long>(d) * indent + px(kTreeGuideOffset);
                if (gx >= nameColumn) break;
                RECT line{static_cast<int>(gx), top, static_cast<int>(gx) + 1, bottom};
                FillRect(dc, &line, guide.get());
            }
        }
        int x = treeLabelLeft(row.depth, pal.dpi) - px(kTreeExpanderZone) - px(kTreeLabelOffset);
        const bool isOpen =
            row.expandable && (pane.mainWindow->filter.active ? filterOpens(node) : pane.expanded.count(node) != 0);
        if (row.expandable) {
            RECT box{x, top, x + px(kTreeExpanderWidth), bottom};
            drawGlyph(dc, isOpen ? kChevronDown : kChevronRight, box, pal.color(ColorSlot::dimText), pal.smallIconFont);
        }
        x += px(kTreeExpanderZone);

        const int badgeHeight = px(kTreeBadgeHeight);
        const int badgeTop = top + (rowHeight - badgeHeight) / 2;
        const Badge badge = nodeBadge(node->kind, isDataFormat);
        if (*badge.text) {
            const COLORREF slot = pal.color(badge.slot);
            const COLORREF tint =
                blend(pal.color(ColorSlot::background), slot, pal.isDark ? kBadgeTintDark : kBadgeTintLight);
            RECT box{x, badgeTop, x + px(kTreeBadgeWidth), badgeTop + badgeHeight};
            fillRoundRect(dc, box, px(kTreeBadgeRadius), tint, tint);
            drawText(dc, badge.text, box, slot, pal.badgeFont, kCentredFormat);
        }
        const int labelStart = x + px(kTreeLabelOffset);

        const std::wstring pill = countPillText(node, pane.mainWindow->settings.showCounts, row.expandable);
        const int pillWidth = pill.empty() ? 0 : measureText(dc, pill, pal.badgeFont) + px(kTreePillPadding);
        const std::wstring label = nodeLabel(node);
        const int labelWidth = label.empty() ? 0 : measureText(dc, label, pal.contentFont);
        int wanted = labelWidth;
        const std::wstring tag = nodeNote(*pane.mainWindow->document, node);  // its type tag, and the mark of a string holding JSON
        if (!tag.empty()) wanted += (label.empty() ? 0 : px(kTreeTagGap)) + measureText(dc, tag, pal.contentFont);
        const NameFit fit = fitNameColumn(labelStart, nameColumn - px(kTreeRightInset), wanted, pillWidth, px(kTreePillGap));
        const int labelLimit = fit.labelLimit;

        RECT labelRect{labelStart, top, labelLimit, bottom};
        const MainWindow& main = *pane.mainWindow;
        const bool highlighting = main.highlight.highlightActive;
        if (highlighting) PaintSearchHighlights(main, dc, label.c_str(), label.size(), pal.contentFont, labelRect, current, -1);
        drawText(dc, label, labelRect, pal.color(labelSlot(node)), pal.contentFont, kLineFormat);
        const int available = std::max(0, labelLimit - labelStart);
        const int labelEnd = labelStart + std::min(labelWidth, available);
        int contentEnd = labelEnd;

        bool tagDrawn = false;
        if (!tag.empty() && labelEnd < labelLimit) {
            const int tagStart = label.empty() ? labelStart : labelEnd + px(kTreeTagGap);
            RECT tagRect{tagStart, top, labelLimit, bottom};
            drawText(dc, tag, tagRect, pal.color(ColorSlot::dimText), pal.contentFont, kLineFormat);
            contentEnd = std::min(tagStart + measureText(dc, tag, pal.contentFont), labelLimit);
            tagDrawn = true;
        }

        if (fit.pill) {
            const int left = label.empty() && !tagDrawn ? labelStart : contentEnd + px(kTreePillGap);
            const COLORREF fill =
                blend(rowBackground, pal.color(ColorSlot::text), pal.isDark ? kPillTintDark : kPillTintLight);
            RECT box{left, badgeTop, left + pillWidth, badgeTop + badgeHeight};
            fillRoundRect(dc, box, badgeHeight / 2, fill, fill);
            drawText(dc, pill, box, pal.color(ColorSlot::dimText), pal.badgeFont, kCentredFormat);
        }
    }
};

void paintTree(const TreePane& pane, HDC dc, const RECT& client) {
    const MainWindow& main = *pane.mainWindow;
    const Palette& pal = main.palette;
    {
        BrushHandle background(CreateSolidBrush(pal.color(ColorSlot::background)));
        FillRect(dc, &client, background.get());
    }
    const int nameColumn = nameColumnPixels(client.right - client.left, pane.nameColumnWidth, pal.dpi);
    const RowPainter painter{pane, pal, dc, client.right, nameColumn, GetFocus() == pane.window,
                             main.document && main.document->isDataFormat};
    const int rowHeight = std::max(pal.rowHeight, 1);
    for (size_t i = pane.topRow; i < pane.rows.size(); ++i) {
        const long long top = static_cast<long long>(i - pane.topRow) * rowHeight;
        if (top >= client.bottom) break;
        const TreeRow row = pane.rows[i];
        if (!row.node) break;
        painter.paint(row, static_cast<int>(i), static_cast<int>(top));
    }
    {
        BrushHandle line(CreateSolidBrush(pal.color(ColorSlot::gridLine)));
        RECT splitter{nameColumn, client.top, nameColumn + 1, client.bottom};
        FillRect(dc, &splitter, line.get());
    }
    if (pane.rows.empty() && main.document && !main.document->errorMessage.empty()) {
        RECT box = client;
        InflateRect(&box, -pal.scale(kTreeErrorInset), -pal.scale(kTreeErrorInset));
        drawText(dc, main.document->errorMessage, box, pal.color(ColorSlot::warning), pal.contentFont, DT_WORDBREAK);
    }
}

// ---- message handlers ----

LRESULT onPaint(TreePane& pane, HDC printDc) {
    BufferedPaint paint(pane.window, printDc);
    if (paint.dc()) paintTree(pane, paint.dc(), paint.client());
    return 0;
}

LRESULT onSetCursor(TreePane& pane, HWND window, WPARAM wParam, LPARAM lParam) {
    if (LOWORD(lParam) != HTCLIENT) return DefWindowProcW(window, WM_SETCURSOR, wParam, lParam);
    POINT pt{};
    GetCursorPos(&pt);
    ScreenToClient(window, &pt);
    const bool nearSplitter = std::abs(pt.x - pane.NameColumnWidth()) <= pane.mainWindow->palette.scale(kTreeSplitterGrab);
    SetCursor(LoadCursorW(nullptr, pane.draggingSplitter || nearSplitter ? IDC_SIZEWE : IDC_ARROW));
    return TRUE;
}

void runTreeKey(TreePane& pane, const TreeKeyResult& action) {
    switch (action.action) {
        case TreeAction::Select: pane.SelectRow(action.row); break;
        case TreeAction::Toggle: pane.ToggleRow(action.row); break;
        case TreeAction::ExpandSubtree: pane.ExpandSubtree(pane.rows[action.row].node); break;
        case TreeAction::None: break;
    }
}

LRESULT onKeyDown(TreePane& pane, UINT message, WPARAM wParam, LPARAM lParam) {
    MainWindow& main = *pane.mainWindow;
    if (main.HandleShortcut(wParam)) return 0;
    const unsigned key = static_cast<unsigned>(wParam);
    if (isTreeKey(key, pane.rows.size())) {
        runTreeKey(pane, treeKeyAction(key, pane.rows, pane.selectedRow, pane.expanded, pane.PageRows()));
        return 0;
    }
    main.ForwardKey(message, wParam, lParam);
    return 0;
}

LRESULT onVScroll(TreePane& pane, WPARAM wParam) {
    long long target = pane.topRow;
    const int page = pane.PageRows();
    switch (LOWORD(wParam)) {
        case SB_LINEUP: target -= 1; break;
        case SB_LINEDOWN: target += 1; break;
        case SB_PAGEUP: target -= page; break;
        case SB_PAGEDOWN: target += page; break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK: {
            SCROLLINFO si{};
            si.cbSize = sizeof si;
            si.fMask = SIF_TRACKPOS;
            GetScrollInfo(pane.window, SB_VERT, &si);
            target = si.nTrackPos;
            break;
        }
        case SB_TOP: target = 0; break;
        case SB_BOTTOM: target = static_cast<long long>(pane.rows.size()); break;
        default: return 0;
    }
    pane.ScrollTo(target);
    return 0;
}

LRESULT onMouseWheel(TreePane& pane, WPARAM wParam) {
    const int notches = takeWheelNotches(pane.wheelRemainder, GET_WHEEL_DELTA_WPARAM(wParam));
    pane.ScrollTo(static_cast<long long>(pane.topRow) - kWheelRowsPerNotch * notches);
    return 0;
}

TreeHit hitAt(const TreePane& pane, LPARAM lParam) {
    return treeHitTest(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), pane.rows, pane.topRow,
                       pane.mainWindow->palette.rowHeight, pane.NameColumnWidth(), pane.mainWindow->palette.dpi);
}

LRESULT onLButtonDown(TreePane& pane, LPARAM lParam) {
    SetFocus(pane.window);
    const TreeHit hit = hitAt(pane, lParam);
    pane.expanderClicked = hit.row >= 0 && hit.onExpander && !hit.onSplitter;
    if (hit.onSplitter) {
        pane.draggingSplitter = true;
        SetCapture(pane.window);
        return 0;
    }
    if (hit.row < 0) return 0;
    if (hit.onExpander)
        pane.ToggleRow(hit.row);
    else
        pane.SelectRow(hit.row);
    return 0;
}

LRESULT onLButtonDoubleClick(TreePane& pane, LPARAM lParam) {
    SetFocus(pane.window);
    const TreeHit hit = hitAt(pane, lParam);
    const bool secondHalf = pane.expanderClicked && hit.onExpander;
    pane.expanderClicked = false;
    if (hit.row < 0 || secondHalf) return 0;
    pane.SelectRow(hit.row);
    if (pane.rows[hit.row].expandable)
        pane.ToggleRow(hit.row);
    else
        EditSelectedValue(*pane.mainWindow);
    return 0;
}

LRESULT onRButtonDown(TreePane& pane, LPARAM lParam) {
    SetFocus(pane.window);
    const TreeHit hit = hitAt(pane, lParam);
    if (hit.row >= 0) pane.SelectRow(hit.row);
    return 0;
}

// Over a label or value that its column cuts (a deep row's label past the splitter, a long
// value past the window's edge) the tooltip shows it in full; elsewhere it shows nothing.
void updateCutTip(TreePane& pane, LPARAM lParam) {
    const TreeHit hit = hitAt(pane, lParam);
    const Palette& pal = pane.mainWindow->palette;
    const int nameColumn = pane.NameColumnWidth();
    const int right = clientWidth(pane.window);
    std::wstring text;
    RECT part{};
    if (hit.row >= 0 && !hit.onSplitter) {
        const TreeRow row = pane.rows[size_t(hit.row)];
        const int top = static_cast<int>((static_cast<long long>(hit.row) - pane.topRow) * pal.rowHeight);
        const bool inName = GET_X_LPARAM(lParam) < nameColumn;
        // A text longer than the tooltip takes is cut anyway: it is not measured.
        ScreenDc screen;
        auto fits = [&](const std::wstring& t, int left, int limit) {
            return t.size() <= kTreeTipMaxChars && left + measureText(screen.get(), t, pal.contentFont) <= limit;
        };
        if (inName) {
            text = nodeLabel(row.node);
            if (const wchar_t* tag = nodeTag(*pane.mainWindow->document, row.node)) text += (text.empty() ? L"" : L" ") + std::wstring(tag);
            if (fits(text, treeLabelLeft(row.depth, pal.dpi), nameColumn - pal.scale(kTreeRightInset))) text.clear();
            part = RECT{0, top, nameColumn, top + pal.rowHeight};
        } else {
            const bool open = row.expandable && pane.expanded.count(row.node);
            text = treeValue(row.node, open, pane.mainWindow->settings.showCounts, row.expandable).text;
            if (fits(text, nameColumn + pal.scale(kTreeValueInset), right - pal.scale(kTreeRightInset))) text.clear();
            part = RECT{nameColumn, top, right, top + pal.rowHeight};
        }
    }
    if (text.size() > kTreeTipMaxChars) text = text.substr(0, kTreeTipMaxChars) + L"\x2026";
    if (!pane.tooltip) {
        if (text.empty()) return;
        pane.tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                       CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, pane.window, nullptr,
                                       nullptr, nullptr);
        if (!pane.tooltip) return;
        SendMessageW(pane.tooltip, TTM_SETMAXTIPWIDTH, 0, pal.scale(kTreeTipWidth));
        TOOLINFOW ti{};
        ti.cbSize = sizeof ti;
        ti.uFlags = TTF_SUBCLASS;
        ti.hwnd = pane.window;
        ti.uId = 1;
        ti.lpszText = const_cast<wchar_t*>(L"");
        SendMessageW(pane.tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    }
    TOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.hwnd = pane.window;
    ti.uId = 1;
    ti.rect = part;
    SendMessageW(pane.tooltip, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&ti));
    if (text == pane.tipText) return;
    pane.tipText = std::move(text);
    ti.lpszText = const_cast<wchar_t*>(pane.tipText.c_str());
    SendMessageW(pane.tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
}

LRESULT onMouseMove(TreePane& pane, LPARAM lParam) {
    if (!pane.draggingSplitter) {
        updateCutTip(pane, lParam);
        return 0;
    }
    pane.nameColumnWidth = splitFromDrag(GET_X_LPARAM(lParam), clientWidth(pane.window), pane.mainWindow->palette.dpi);
    pane.Repaint();
    return 0;
}

// The drag ends with the button, or when another window takes the capture; either way the new
// width is saved once.
void endSplitterDrag(TreePane& pane) {
    if (!pane.draggingSplitter) return;
    pane.draggingSplitter = false;
    if (GetCapture() == pane.window) ReleaseCapture();
    pane.mainWindow->SaveSettings();
}

LRESULT onContextMenu(TreePane& pane, LPARAM lParam) {
    const Palette& pal = pane.mainWindow->palette;
    const long long rowsDown = pane.selectedRow < 0 ? 1 : static_cast<long long>(pane.selectedRow) - pane.topRow + 1;
    const POINT keyboardPoint{pal.scale(kContextMenuOffsetDips), static_cast<LONG>(rowsDown * pal.rowHeight)};
    return ShowViewContextMenu(*pane.mainWindow, pane.window, lParam, keyboardPoint);
}

LRESULT dispatch(TreePane& pane, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE: pane.UpdateScrollBar(); pane.Repaint(); return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS: pane.Repaint(); return 0;
        case WM_PAINT: return onPaint(pane, nullptr);
        case WM_PRINTCLIENT: return onPaint(pane, reinterpret_cast<HDC>(wParam));
        case WM_ERASEBKGND: return 1;
        case WM_SETCURSOR: return onSetCursor(pane, window, wParam, lParam);
        case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTALLKEYS | DLGC_WANTCHARS;
        case WM_KEYDOWN: return onKeyDown(pane, message, wParam, lParam);
        case WM_CHAR: return 0;
        case WM_VSCROLL: return onVScroll(pane, wParam);
        case WM_MOUSEWHEEL: return onMouseWheel(pane, wParam);
        case WM_LBUTTONDOWN: return onLButtonDown(pane, lParam);
        case WM_LBUTTONDBLCLK: return onLButtonDoubleClick(pane, lParam);
        case WM_RBUTTONDOWN: return onRButtonDown(pane, lParam);
        case WM_MOUSEMOVE: return onMouseMove(pane, lParam);
        case WM_LBUTTONUP:
        case WM_CAPTURECHANGED: endSplitterDrag(pane); return 0;
        case WM_CONTEXTMENU: return onContextMenu(pane, lParam);
        case WM_CTLCOLOREDIT: return InPlaceEditorColours(*pane.mainWindow, reinterpret_cast<HDC>(wParam));
        case WM_DESTROY:
            // A popup owned by the host's top-level window: it would outlive the view.
            if (pane.tooltip) DestroyWindow(pane.tooltip);
            pane.tooltip = nullptr;
            return 0;
        default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

LRESULT CALLBACK TreeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return paneWindowProc<TreePane, dispatch>(window, message, wParam, lParam);
}

}  // namespace qm
