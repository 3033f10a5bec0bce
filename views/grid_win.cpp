// The grid view window: keeps its boxes, expansion sets, dragged widths and scroll position in
// step with the main window's document and selection, paints the boxes that meet the client
// area, and turns keys, clicks, the wheel and column-edge drags into the pane's operations.
#include "views/grid_win.h"

#include <windowsx.h>

#include <algorithm>
#include <string>
#include <utility>

#include "appearance/colour.h"
#include "appearance/draw_win.h"
#include "appearance/glyphs.h"
#include "document/embedded.h"
#include "edit/editing.h"
#include "shell/mainwindow.h"
#include "views/viewwindow_win.h"
#include "shell/search.h"
#include "views/tree.h"

namespace qm {

namespace {

constexpr wchar_t kChevronDown = kGlyphChevronDown;
constexpr wchar_t kChevronRight = kGlyphChevronRight;
constexpr int kContextMenuOffsetDips = 40;
constexpr int kScrollToEnd = 1073741823;  // clamping turns it into the bottom
constexpr int kRevealGap = 16;
constexpr size_t kFilteredTogglesKept = 64;
constexpr size_t kDiscardedBoxesKept = 65536;  // replaced boxes a toggle may leave before a full build
constexpr double kBadgeTintDark = 0.24, kBadgeTintLight = 0.13;
constexpr UINT kLineFormat = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
constexpr UINT kCountFormat = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
constexpr UINT kNumberFormat = DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
constexpr UINT kCentredFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;

RECT clientRect(HWND window) {
    RECT rc{};
    if (window) GetClientRect(window, &rc);
    return rc;
}

void fill(HDC dc, const RECT& rect, COLORREF colour) {
    BrushHandle brush(CreateSolidBrush(colour));
    FillRect(dc, &rect, brush.get());
}

void vLine(HDC dc, int x, int y1, int y2, COLORREF colour) { fill(dc, RECT{x, y1, x + 1, y2}, colour); }

std::wstring str(std::wstring_view text) { return std::wstring(text); }

}  // namespace

long long counterNow() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

long long counterAfter(long long from, double seconds) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return from + static_cast<long long>(seconds * static_cast<double>(frequency.QuadPart));
}

// ---- pane operations ----

GridPane::~GridPane() {
    if (measureContext) DeleteDC(measureContext);
}

bool GridPane::Shown() const { return window && mainWindow && mainWindow->settings.activeView == kViewGrid; }

int GridPane::MeasureWithContext(std::wstring_view text) const {
    SIZE size{};
    if (!measureContext || text.empty()) return 0;
    // Rows of large tables are built while painting or hit testing too, outside a layout: the
    // content font is selected for the measuring unless it is already.
    const HFONT font = mainWindow ? mainWindow->palette.contentFont.get() : nullptr;
    if (font && GetCurrentObject(measureContext, OBJ_FONT) != font) {
        SelectObjectGuard selected(measureContext, font);
        GetTextExtentPoint32W(measureContext, text.data(), static_cast<int>(text.size()), &size);
    } else {
        GetTextExtentPoint32W(measureContext, text.data(), static_cast<int>(text.size()), &size);
    }
    return size.cx;
}

void GridPane::ReadTextBound() {
    if (textBound.widest > 0 || !measureContext) return;
    TEXTMETRICW tm{};
    INT widths[0x7F - 0x20] = {};
    if (!GetTextMetricsW(measureContext, &tm) || !GetCharWidth32W(measureContext, 0x20, 0x7E, widths)) return;
    int widest = static_cast<int>(tm.tmMaxCharWidth) + static_cast<int>(tm.tmOverhang);
    for (int i = 0; i < 0x7F - 0x20; ++i) {
        textBound.ascii[static_cast<size_t>(0x20 + i)] = static_cast<uint16_t>(std::clamp(widths[i] + tm.tmOverhang, 0L, 0xFFFFL));
        widest = std::max(widest, widths[i]);
    }
    textBound.widest = widest;
    textBound.exactAscii = AsciiAddsUp(widths, tm);
}

// Whether the content font measures printable ASCII texts as their characters' advances add up:
// each character alone, all of them in a row, and pairs that fonts kern. Only then are such
// texts summed from the table instead of measured, which gives exactly what measuring gives.
bool GridPane::AsciiAddsUp(const INT* widths, const TEXTMETRICW& tm) const {
    if (tm.tmOverhang != 0) return false;
    std::wstring all;
    for (int i = 0; i < 0x7F - 0x20; ++i) {
        const wchar_t ch = static_cast<wchar_t>(0x20 + i);
        SIZE size{};
        if (widths[i] <= 0 || !GetTextExtentPoint32W(measureContext, &ch, 1, &size) || size.cx != widths[i])
            return false;
        all += ch;
    }
    for (const std::wstring_view probe : {std::wstring_view(all), std::wstring_view(L"AVAWATAYToTaTyVaWaYoLTLVLYFAPA.ff fi fl \"Wo\" r, y. 1/4")}) {
        long long sum = 0;
        for (wchar_t ch : probe) sum += widths[ch - 0x20];
        SIZE size{};
        if (!GetTextExtentPoint32W(measureContext, probe.data(), static_cast<int>(probe.size()), &size) || size.cx != sum)
            return false;
    }
    return true;
}

GridMetrics GridPane::Metrics() {
    GridMetrics m;
    m.dpi = mainWindow->palette.dpi;
    m.rowHeight = std::max(mainWindow->palette.rowHeight, 1);
    m.autoFit = mainWindow->settings.autoFit;
    m.columnWidths = &columnWidths;
    m.measureText = [this](std::wstring_view text) { return measureCache(text); };
    if (textBound.widest > 0) m.textBound = &textBound;
    return m;
}

int GridPane::ContentWidth() const {
    return layout.root ? layout.root->width + 2 * mainWindow->palette.scale(kGridMargin) : 0;
}

int GridPane::ContentHeight() const {
    return layout.root ? layout.root->height + 2 * mainWindow->palette.scale(kGridMargin) : 0;
}

void GridPane::Repaint() const {
    if (window) InvalidateRect(window, nullptr, FALSE);
}

// A text's sort key by the user's locale, ignoring case: sorted tables compare these as bytes,
// one key per row instead of a locale comparison per pair of rows.
std::string localeSortKey(std::wstring_view text) {
    if (text.empty()) return std::string();
    const DWORD flags = LCMAP_SORTKEY | LINGUISTIC_IGNORECASE;
    const int length = static_cast<int>(text.size());
    // One call for the keys of ordinary texts; only a key longer than the buffer asks its size.
    char buffer[2048];
    std::string key;
    int bytes = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, flags, text.data(), length, reinterpret_cast<LPWSTR>(buffer),
                              static_cast<int>(sizeof buffer), nullptr, nullptr, 0);
    if (bytes > 0) {
        key.assign(buffer, static_cast<size_t>(bytes));
    } else {
        bytes = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, flags, text.data(), length, nullptr, 0, nullptr, nullptr, 0);
        if (bytes <= 0) return std::string();
        key.assign(static_cast<size_t>(bytes), '\0');
        bytes = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, flags, text.data(), length, reinterpret_cast<LPWSTR>(key.data()),
                              bytes, nullptr, nullptr, 0);
        key.resize(static_cast<size_t>(std::max(bytes, 0)));
    }
    // The key ends in a zero byte, which would make a key sort before its own extensions.
    while (!key.empty() && key.back() == '\0') key.pop_back();
    return key;
}

void GridPane::Build(bool repaint) {
    const Document* doc = mainWindow->document.get();
    layout.textKey = localeSortKey;
    {
        SelectObjectGuard font(measureContext, mainWindow->palette.contentFont);
        ReadTextBound();
        expansion.document = doc;
        buildGrid(doc ? doc->root : nullptr, expansion, layout);
        layOutGrid(layout, Metrics());
    }
    stale = false;
    UpdateScrollBars();
    if (repaint) Repaint();
}

bool GridPane::EnsureLayout() {
    if (stale) Build(false);
    return layout.root != nullptr;
}

void GridPane::Relayout() {
    DropSavedLayout();
    Rebuild();
}

void GridPane::Rebuild() {
    ++builds;
    layout.clear();
    stale = true;
    if (Shown())
        Build(true);
    else
        Repaint();
}

void GridPane::AppearanceChanged() {
    measureCache.clear();
    textBound = GridTextBound{};
    Relayout();
}

void GridPane::DropSavedLayout() {
    DropFilterLayout();
    DropBulkLayout();
}

void GridPane::DropFilterLayout() {
    saved.layout.clear();
    saved.toggles.clear();
    saved.kept = false;
}

void GridPane::DropBulkLayout() {
    beforeBulk.layout.clear();
    beforeBulk.nodes.clear();
    beforeBulk.groups.clear();
    beforeBulk.sorts.clear();
    beforeBulk.kept = false;
}

void GridPane::NoteFilteredToggle(uint8_t toggle, const Node* toggleKey) {
    if (!expansion.filtered || !saved.kept) return;
    // Each one builds a table again when the filter goes: past a few, building everything is as quick.
    if (saved.toggles.size() >= kFilteredTogglesKept)
        DropSavedLayout();
    else
        saved.toggles.emplace_back(toggle, toggleKey);
}

void GridPane::FilterChanged(bool filtered) {
    ++builds;
    GridLayout built;
    swapGridLayouts(built, filterBuilt);
    // The grid kept from before a bulk action shows what the filter kept then.
    DropBulkLayout();
    const bool was = expansion.filtered;
    expansion.filtered = filtered;
    const size_t nodes = mainWindow->document ? mainWindow->document->nodes.size() : 0;
    if (filtered && !was) {
        DropSavedLayout();
        if (!stale && layout.root) {
            swapGridLayouts(layout, saved.layout);
            saved.scrollX = scrollX;
            saved.scrollY = scrollY;
            saved.nodeCount = nodes;
            saved.kept = true;
        }
    } else if (!filtered && saved.kept && saved.nodeCount == nodes) {
        swapGridLayouts(layout, saved.layout);
        scrollX = saved.scrollX;
        scrollY = saved.scrollY;
        stale = false;
        const std::vector<GridToggleKey> toggles = std::move(saved.toggles);
        DropSavedLayout();
        if (!toggles.empty()) return RebuildAround(toggles);
        UpdateScrollBars();
        Repaint();
        return;
    }
    if (!filtered) DropSavedLayout();
    layout.clear();
    stale = true;
    if (filtered && built.root && filterBuiltAt + 1 == builds) {
        // Built for this filter beside the grid shown until now: shown as it is.
        swapGridLayouts(layout, built);
        layout.expansion = &expansion;
        stale = false;
        UpdateScrollBars();
    }
    // Otherwise the filtered grid is built once, when the selection is revealed (or when it is
    // next shown).
}

void GridPane::ForgetDocument() {
    ++builds;
    StopBuild();
    DropSavedLayout();
    layout.clear();
    stale = true;
    expansion.nodes.clear();
    expansion.groups.clear();
    expansion.sorts.clear();
    columnWidths.clear();
    dragging = false;
    drag = Drag{};
    standInFor = standIn = nullptr;
    measureCache.clear();
}

void GridPane::ResetForDocument() {
    columnWidths.clear();
    resetGridExpansion(mainWindow->document ? mainWindow->document->root : nullptr, expansion);
    scrollX = scrollY = 0;
    Relayout();
}


void GridPane::RebuildAround(const std::vector<GridToggleKey>& toggles) {
    // A click opens or closes one table: the boxes around it are kept and only what holds it is
    // measured again. Once the replaced boxes outnumber half the live ones (and a few thousand,
    // as large tables keep few boxes), everything is built afresh, so repeated clicks cost
    // memory in proportion to what they built.
    size_t rebuilt = 0;
    if (!stale && layout.root && Shown())
        for (const auto& [toggle, key] : toggles) rebuilt += rebuildToggled(expansion, toggle, key, layout);
    if (rebuilt != 0 && layout.discarded <= std::max(layout.boxes.size() / 2, kDiscardedBoxesKept)) {
        ++builds;
        {
            SelectObjectGuard font(measureContext, mainWindow->palette.contentFont);
            relayOutGrid(layout, Metrics());
        }
        UpdateScrollBars();
        Repaint();
        return;
    }
    Rebuild();
}

void GridPane::ClearColumnWidths() { columnWidths.clear(); }

void GridPane::ColumnWidthChanged(const Node* key, int32_t column) {
    DropSavedLayout();
    if (stale || !layout.root || !Shown() || !markColumnResized(layout, key, column)) {
        Relayout();
        return;
    }
    {
        SelectObjectGuard font(measureContext, mainWindow->palette.contentFont);
        relayOutGrid(layout, Metrics());
    }
    UpdateScrollBars();
    Repaint();
}

const GridBox* GridPane::FindLeafBox(const Node* node, const Node* alternative) {
    if (!EnsureLayout()) return nullptr;
    return qm::FindLeafBox(layout.root, node, alternative);
}

const GridBox* GridPane::FindTable(const Node* key) const {
    if (!key || stale || !layout.root) return nullptr;
    std::vector<const GridBox*> stack{layout.root};
    while (!stack.empty()) {
        const GridBox* b = stack.back();
        stack.pop_back();
        if (b->type == GridBoxType::Table && b->frame->key == key) return b;
        if (b->frame)
            for (const GridBox* child : b->frame->children) stack.push_back(child);
    }
    return nullptr;
}

const GridBox* GridPane::TableHolding(const Node* node) const {
    if (!node || stale || !layout.root) return nullptr;
    std::unordered_set<const Node*> lineage;
    for (const Node* n = node; n; n = n->parent) lineage.insert(n);
    // Depth first: a table met later inside one that holds the node is the deeper one.
    const GridBox* found = nullptr;
    std::vector<const GridBox*> stack{layout.root};
    while (!stack.empty()) {
        const GridBox* b = stack.back();
        stack.pop_back();
        if (!b->frame) continue;
        if (b->type == GridBoxType::Table) {
            bool holds = false;
            for (const Node* record : b->frame->records) holds = holds || lineage.count(record) != 0;
            if (!holds) continue;
            found = b;
        }
        for (const GridBox* child : b->frame->children) stack.push_back(child);
    }
    return found;
}

void GridPane::RevealNode(const Node* node) {
    if (!node) return;
    // Nothing to open (a selection already shown, a cell of a table's row, a reveal right after
    // Expand all): the boxes stay, however many rows the table has. Under the filter everything
    // holding a match is open already, and the user's sets wait.
    GridRect r;
    const bool shown = !stale && layout.root && NodeRect(*layout.root, node, Metrics(), r);
    std::vector<GridToggleKey> opened;
    if (!expansion.filtered && !shown && revealInGrid(node, expansion, &opened)) RebuildAround(opened);
    if (!EnsureLayout()) return;
    standInFor = node;
    standIn = gridShownNode(*layout.root, node, Metrics(), r);
    if (!standIn) return;
    const Palette& pal = mainWindow->palette;
    const RECT client = clientRect(window);
    const int width = client.right - client.left, height = client.bottom - client.top;
    const int margin = pal.scale(kGridMargin);
    long long x = scrollX, y = scrollY;
    if (r.top < y)
        y = r.top - margin;
    else if (r.bottom - y + margin > height)
        y = static_cast<long long>(r.bottom) + pal.scale(kRevealGap) - height;
    if (r.left < x || r.left - x + margin > width - pal.scale(kGridLineStep)) x = r.left - margin;
    ScrollTo(x, y);
    Repaint();
}

void GridPane::UpdateScrollBars() {
    const RECT client = clientRect(window);
    const int contentWidth = ContentWidth(), contentHeight = ContentHeight();
    scrollX = clampGridScroll(scrollX, contentWidth, client.right - client.left);
    scrollY = clampGridScroll(scrollY, contentHeight, client.bottom - client.top);
    if (!window) return;
    auto set = [&](int bar, int content, int page, int pos) {
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
        si.nMin = 0;
        si.nMax = std::max(content - 1, 0);
        si.nPage = static_cast<UINT>(std::max(page, 0));
        si.nPos = pos;
        SetScrollInfo(window, bar, &si, TRUE);
    };
    set(SB_HORZ, contentWidth, client.right - client.left, scrollX);
    set(SB_VERT, contentHeight, client.bottom - client.top, scrollY);
}

void GridPane::ScrollTo(long long x, long long y) {
    const RECT client = clientRect(window);
    const int nx = clampGridScroll(x, ContentWidth(), client.right - client.left);
    const int ny = clampGridScroll(y, ContentHeight(), client.bottom - client.top);
    if (nx == scrollX && ny == scrollY) return;
    scrollX = nx;
    scrollY = ny;
    if (window) {
        SetScrollPos(window, SB_HORZ, scrollX, TRUE);
        SetScrollPos(window, SB_VERT, scrollY, TRUE);
    }
    Repaint();
}

// ---- painting ----

namespace {

struct GridPainter {
    const MainWindow& main;
    const Palette& pal;
    HDC dc;
    RECT update;
    int ox, oy;  // content to client
    const Node* selected;
    COLORREF selection;
    COLORREF gridLine;
    bool autoFit;
    bool isDataFormat;
    // The innermost record table whose header line is scrolled above the view while its rows
    // still show: its header is drawn again at the top, over the rows.
    mutable const GridBox* sticky = nullptr;

    int px(int dips) const { return pal.scale(dips); }
    RECT rectOf(const GridBox& b) const { return RECT{b.x + ox, b.y + oy, b.x + ox + b.width, b.y + oy + b.height}; }
    bool misses(const RECT& r) const {
        return r.right <= update.left || r.left >= update.right || r.bottom <= update.top || r.top >= update.bottom;
    }
    bool rowMisses(int top, int bottom) const { return bottom <= update.top || top >= update.bottom; }

    void highlight(std::wstring_view text, const RECT& rect, bool current) const {
        if (main.highlight.highlightActive && !text.empty())
            PaintSearchHighlights(main, dc, text.data(), text.size(), pal.contentFont, rect, current, -1);
    }

    void badge(NodeKind kind, int x, int top) const {
        const Badge b = nodeBadge(kind, isDataFormat);
        if (!*b.text) return;
        const int height = px(kGridBadgeHeight);
        const int badgeTop = top + (pal.rowHeight - height) / 2;
        const COLORREF slot = pal.color(b.slot);
        const COLORREF tint = blend(pal.color(ColorSlot::background), slot, pal.isDark ? kBadgeTintDark : kBadgeTintLight);
        const RECT box{x, badgeTop, x + px(kGridBadgeWidth), badgeTop + height};
        fillRoundRect(dc, box, px(3), tint, tint);
        drawText(dc, b.text, box, slot, pal.badgeFont, kCentredFormat);
    }

    ColorSlot labelColour(const GridRow& row) const {
        const Node* n = row.node;
        if (n && n->kind == NodeKind::Object && (row.toggle != kToggleNone || !n->keyed)) return ColorSlot::dimText;
        if (row.kind == NodeKind::Attribute) return ColorSlot::attributeName;
        return ColorSlot::text;
    }

    // A label cell in the top row line of `cell`; chevron, badge and texts stay inside it, however
    // narrow a dragged column makes it.
    void labelCell(const GridRow& row, const RECT& cell) const {
        const int top = cell.top, bottom = cell.top + pal.rowHeight;
        const ClipGuard clip(dc, RECT{cell.left, top, cell.right, bottom});
        const int right = cell.right - px(kGridRightInset);
        const COLORREF dim = pal.color(ColorSlot::dimText);
        int x = cell.left + px(kGridCellInset);
        if (row.toggle != kToggleNone) {
            drawGlyph(dc, row.open ? kChevronDown : kChevronRight, RECT{x, top, x + px(kGridChevronWidth), bottom}, dim,
                      pal.smallIconFont);
            x += px(kGridToggleWidth);
        }
        badge(row.kind, x, top);
        x += px(kGridLabelOffset);
        if (!row.label.empty()) {
            const std::wstring label = str(row.label);
            const RECT rect{x, top, right, bottom};
            highlight(row.label, rect, row.node && IsCurrentMatch(main, row.node));
            drawText(dc, label, rect, pal.color(labelColour(row)), pal.contentFont, kLineFormat);
            x += std::min(measureText(dc, label, pal.contentFont) + px(kGridTextGap),
                          px(autoFit ? kGridAutoFitCap : kGridLabelCap));
        }
        if (x >= right) return;
        if (row.count != 0) {
            const std::wstring count = L"(" + std::to_wstring(row.count) + L")";
            drawText(dc, count, RECT{x + px(kGridCountGap), top, right, bottom}, dim, pal.contentFont, kCountFormat);
            x += measureText(dc, count, pal.contentFont) + px(kGridTextGap) + px(kGridCountGap);
        }
        if (!row.note.empty() && x + px(kGridNoteGap) < right)
            drawText(dc, str(row.note), RECT{x + px(kGridNoteGap), top, right, bottom}, dim, pal.contentFont, kLineFormat);
    }

    void leaf(const GridBox& b, const RECT& r) const {
        if (b.node && b.node == selected) fill(dc, RECT{r.left, r.top, r.right, r.top + pal.rowHeight}, selection);
        const RECT text{r.left + px(kGridCellInset), r.top, r.right - px(kGridCellInset), r.top + pal.rowHeight};
        highlight(b.text, text, b.node && IsCurrentMatch(main, b.node));
        if (!b.text.empty())
            drawText(dc, str(b.text), text, pal.color(b.dim ? ColorSlot::dimText : b.colour), pal.contentFont, kLineFormat);
    }

    // The first of a table's rows (the first row's top at `rowsTop`) that can meet the update
    // rectangle, by the rows' tops.
    size_t firstRowMet(const GridFrame& f, size_t rows, int rowsTop) const {
        size_t at = 0;
        if (f.rowTops.size() == rows + 1 && update.top > rowsTop)
            at = static_cast<size_t>(std::upper_bound(f.rowTops.begin(), f.rowTops.end() - 1, update.top - rowsTop) -
                                     f.rowTops.begin());
        return at > 0 ? at - 1 : 0;
    }

    void keyValue(const GridBox& b, const RECT& r) const {
        const GridFrame& f = *b.frame;
        fill(dc, r, pal.color(ColorSlot::background));
        const size_t rows = keyValueRowCount(b);
        size_t at = firstRowMet(f, rows, r.top);
        int top = r.top + (at < f.rowTops.size() ? f.rowTops[at] : 0);
        for (; at < rows; ++at) {
            const int bottom = top + f.rowHeights[at];
            if (top >= update.bottom) break;
            if (!rowMisses(top, bottom)) {
                const size_t i = keyValueSlot(b, at);
                const GridRow& row = f.rows[i];
                const RECT cell{r.left, top, r.left + f.labelWidth, bottom};
                fill(dc, cell, pal.color(ColorSlot::stripe));
                if (row.node && row.node == selected)
                    fill(dc, RECT{cell.left, top, cell.right, top + pal.rowHeight}, selection);
                labelCell(row, cell);
                box(*f.children[i]);
                fillHLine(dc, r.left, r.right, bottom - 1, gridLine);
                vLine(dc, cell.right - 1, top, bottom, gridLine);
            }
            top = bottom;
        }
        frameRect(dc, r, gridLine);
    }

    // A record table's header line at `top`: the column labels on the tinted band, the column
    // edges and the line below. Columns past the update rectangle are not drawn (nor summed: a
    // table may be the grid's whole extent wide).
    void headerLine(const GridBox& b, const RECT& r, int top) const {
        const GridFrame& f = *b.frame;
        const int bottom = top + pal.rowHeight;
        fill(dc, RECT{r.left, top, r.right, bottom}, pal.color(ColorSlot::accentTint));
        int left = r.left + f.rowHeaderWidth;
        vLine(dc, left - 1, top, bottom, gridLine);
        for (size_t c = 0; c < f.rows.size() && left < update.right; ++c) {
            labelCell(f.rows[c], RECT{left, top, left + f.columnWidths[c], bottom});
            left += f.columnWidths[c];
            vLine(dc, left - 1, top, bottom, gridLine);
        }
        fillHLine(dc, r.left, r.right, bottom - 1, gridLine);
    }

    void stickyHeader() const {
        if (!sticky) return;
        const RECT r = rectOf(*sticky);
        headerLine(*sticky, r, update.top);
        vLine(dc, r.left, update.top, update.top + pal.rowHeight, gridLine);
        vLine(dc, r.right - 1, update.top, update.top + pal.rowHeight, gridLine);
    }

    void table(const GridBox& b, const RECT& r) const {
        const GridFrame& f = *b.frame;
        fill(dc, r, pal.color(ColorSlot::background));
        const int headerBottom = r.top + pal.rowHeight;
        if (r.top < update.top && r.bottom > update.top + pal.rowHeight) sticky = &b;
        headerLine(b, r, r.top);
        const COLORREF dim = pal.color(ColorSlot::dimText);
        size_t rec = firstRowMet(f, f.records.size(), headerBottom);
        int top = headerBottom + (rec < f.rowTops.size() ? f.rowTops[rec] : 0);
        for (; rec < f.records.size(); ++rec) {
            const int bottom = top + f.rowHeights[rec];
            if (top >= update.bottom) break;
            if (!rowMisses(top, bottom)) {
                const RECT header{r.left, top, r.left + f.rowHeaderWidth, bottom};
                fill(dc, header, pal.color(ColorSlot::stripe));
                if (f.records[rec] == selected) fill(dc, RECT{header.left, top, header.right, top + pal.rowHeight}, selection);
                drawText(dc, std::to_wstring(f.recordNumbers.empty() ? rec + 1 : f.recordNumbers[rec]),
                         RECT{header.left, top, header.right - px(kGridCellInset), top + pal.rowHeight}, dim,
                         pal.contentFont, kNumberFormat);
                const auto [first, last] = tableRowCells(b, rec);
                for (uint32_t i = first; i < last; ++i) box(*f.children[i]);
                fillHLine(dc, r.left, r.right, bottom - 1, gridLine);
            }
            top = bottom;
        }
        int edge = r.left + f.rowHeaderWidth;
        vLine(dc, edge - 1, r.top, r.bottom, gridLine);
        for (size_t c = 0; c + 1 < f.columnWidths.size() && edge < update.right; ++c) {
            edge += f.columnWidths[c];
            vLine(dc, edge - 1, r.top, r.bottom, gridLine);
        }
        frameRect(dc, r, gridLine);
    }

    void nested(const GridBox& b, const RECT& r) const {
        const GridFrame& f = *b.frame;
        const GridRow& row = f.rows.front();
        const RECT header{r.left, r.top, r.right, r.top + pal.rowHeight};
        if (row.node && row.node == selected)
            fill(dc, header, selection);
        else if (row.open)
            fill(dc, header, pal.color(ColorSlot::stripe));
        labelCell(row, header);
        if (!f.children.empty()) {
            box(*f.children.front());
            frameRect(dc, r, gridLine);
        }
    }

    void box(const GridBox& b) const {
        const RECT r = rectOf(b);
        if (misses(r)) return;
        switch (b.type) {
            case GridBoxType::Leaf: leaf(b, r); return;
            case GridBoxType::KeyValue: keyValue(b, r); return;
            case GridBoxType::Table: table(b, r); return;
            case GridBoxType::Nested: nested(b, r); return;
        }
    }
};

void paintGrid(GridPane& pane, HDC dc, const RECT& client) {
    const MainWindow& main = *pane.mainWindow;
    const Palette& pal = main.palette;
    fill(dc, client, pal.color(ColorSlot::background));
    pane.EnsureLayout();
    const int margin = pal.scale(kGridMargin);
    const bool focused = GetFocus() == pane.window;
    if (pane.layout.root) {
        const Node* selected =
            pane.standIn && pane.standInFor == main.selected ? pane.standIn : static_cast<const Node*>(main.selected);
        const GridPainter painter{main, pal, dc, client, margin - pane.scrollX, margin - pane.scrollY, selected,
                                  pal.color(focused ? ColorSlot::selection : ColorSlot::inactiveSelection),
                                  pal.color(ColorSlot::gridLine), main.settings.autoFit,
                                  main.document && main.document->isDataFormat};
        painter.box(*pane.layout.root);
        painter.stickyHeader();
    }
    if (main.document && !main.document->errorMessage.empty() &&
        (!pane.layout.root || pane.layout.root->type == GridBoxType::Leaf)) {
        RECT box = client;
        InflateRect(&box, -pal.scale(kGridErrorInset), -pal.scale(kGridErrorInset));
        drawText(dc, main.document->errorMessage, box, pal.color(ColorSlot::warning), pal.contentFont, DT_WORDBREAK);
    }
}

// ---- message handlers ----

LRESULT onPaint(GridPane& pane, HDC printDc) {
    BufferedPaint paint(pane.window, printDc);
    if (paint.dc()) paintGrid(pane, paint.dc(), paint.client());
    return 0;
}

// A client point in content coordinates.
POINT contentPoint(const GridPane& pane, int x, int y) {
    const int margin = pane.mainWindow->palette.scale(kGridMargin);
    return POINT{x + pane.scrollX - margin, y + pane.scrollY - margin};
}

LRESULT onSetCursor(GridPane& pane, HWND window, WPARAM wParam, LPARAM lParam) {
    if (LOWORD(lParam) != HTCLIENT) return DefWindowProcW(window, WM_SETCURSOR, wParam, lParam);
    bool onEdge = pane.dragging;
    if (!onEdge && pane.layout.root) {
        POINT pt{};
        GetCursorPos(&pt);
        ScreenToClient(window, &pt);
        const POINT p = contentPoint(pane, pt.x, pt.y);
        onEdge = HitEdge(*pane.layout.root, p.x, p.y, pane.Metrics()).found;
    }
    if (!onEdge) return DefWindowProcW(window, WM_SETCURSOR, wParam, lParam);
    SetCursor(LoadCursorW(nullptr, IDC_SIZEWE));
    return TRUE;
}

LRESULT onKeyDown(GridPane& pane, UINT message, WPARAM wParam, LPARAM lParam) {
    MainWindow& main = *pane.mainWindow;
    if (main.HandleShortcut(wParam)) return 0;
    const Palette& pal = main.palette;
    const RECT client = clientRect(pane.window);
    const int rowHeight = pal.rowHeight;
    const int page = std::max(rowHeight, static_cast<int>(client.bottom - client.top) - rowHeight);
    const long long x = pane.scrollX, y = pane.scrollY;
    switch (wParam) {
        case VK_PRIOR: pane.ScrollTo(x, y - page); return 0;
        case VK_NEXT: pane.ScrollTo(x, y + page); return 0;
        case VK_END: pane.ScrollTo(x, kScrollToEnd); return 0;
        case VK_HOME: pane.ScrollTo(0, 0); return 0;
        case VK_LEFT: pane.ScrollTo(x - pal.scale(kGridLineStep), y); return 0;
        case VK_RIGHT: pane.ScrollTo(x + pal.scale(kGridLineStep), y); return 0;
        case VK_UP: pane.ScrollTo(x, y - rowHeight); return 0;
        case VK_DOWN: pane.ScrollTo(x, y + rowHeight); return 0;
        case VK_MULTIPLY:
            if (main.selected) {
                pane.ExpandSubtree(main.selected);
                return 0;
            }
            break;
        default: break;
    }
    main.ForwardKey(message, wParam, lParam);
    return 0;
}

LRESULT onScroll(GridPane& pane, int bar, WPARAM wParam) {
    const Palette& pal = pane.mainWindow->palette;
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    GetScrollInfo(pane.window, bar, &si);
    const bool horizontal = bar == SB_HORZ;
    const long long line = horizontal ? pal.scale(kGridLineStep) : pal.rowHeight;
    long long pos = horizontal ? pane.scrollX : pane.scrollY;
    switch (LOWORD(wParam)) {
        case SB_LINEUP: pos -= line; break;
        case SB_LINEDOWN: pos += line; break;
        case SB_PAGEUP: pos -= si.nPage; break;
        case SB_PAGEDOWN: pos += si.nPage; break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK: pos = si.nTrackPos; break;
        case SB_TOP: pos = 0; break;
        case SB_BOTTOM: pos = si.nMax; break;
        default: return 0;
    }
    if (horizontal)
        pane.ScrollTo(pos, pane.scrollY);
    else
        pane.ScrollTo(pane.scrollX, pos);
    return 0;
}

LRESULT onMouseWheel(GridPane& pane, WPARAM wParam, bool horizontalWheel) {
    const Palette& pal = pane.mainWindow->palette;
    const int notches = takeWheelNotches(pane.wheelRemainder, GET_WHEEL_DELTA_WPARAM(wParam));
    const long long x = pane.scrollX, y = pane.scrollY;
    const long long sideways = static_cast<long long>(pal.scale(kGridWheelStepX)) * notches;
    if (horizontalWheel)
        pane.ScrollTo(x + sideways, y);
    else if (GET_KEYSTATE_WPARAM(wParam) & MK_SHIFT || GetKeyState(VK_SHIFT) < 0)
        pane.ScrollTo(x - sideways, y);
    else
        pane.ScrollTo(x, y - static_cast<long long>(kWheelRowsPerNotch) * pal.rowHeight * notches);
    return 0;
}

enum class Click { Left, Double, Right };

LRESULT onButton(GridPane& pane, LPARAM lParam, Click click) {
    SetFocus(pane.window);
    if (!pane.EnsureLayout()) return 0;
    MainWindow& main = *pane.mainWindow;
    const GridMetrics m = pane.Metrics();
    const POINT p = contentPoint(pane, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
    const bool expanderBefore = std::exchange(pane.expanderClicked, false);
    if (click != Click::Right) {
        const GridEdge edge = HitEdge(*pane.layout.root, p.x, p.y, m);
        if (edge.found && click == Click::Left) {
            pane.drag = GridPane::Drag{edge.key, edge.column, edge.left};
            pane.dragging = true;
            SetCapture(pane.window);
            return 0;
        }
        if (edge.found) {
            pane.columnWidths.erase({edge.key, edge.column});
            pane.ColumnWidthChanged(edge.key, edge.column);
            return 0;
        }
    }
    const GridHit hit = HitNode(*pane.layout.root, p.x, p.y, m);
    const bool secondHalf = click == Click::Double && expanderBefore && hit.onExpander;
    pane.expanderClicked = click == Click::Left && hit.toggle != kToggleNone && hit.onExpander;
    if (secondHalf) return 0;
    if (hit.table && hit.headerColumn >= 0 && click == Click::Left) {
        pane.SortTable(*hit.table, hit.headerColumn);
        return 0;
    }
    const bool toggles = hit.toggle != kToggleNone &&
                         ((click == Click::Left && hit.onExpander) || click == Click::Double);
    if (toggles) {
        if (hit.node) main.SelectNode(hit.node);
        pane.Toggle(hit.toggle, hit.toggleKey);
        return 0;
    }
    if (hit.node) {
        // A "…" cell standing for the selection below it keeps that selection; a double-click on
        // a "…" cell shows its node in the tree, which has no depth limit.
        if (!(hit.cut && pane.standIn == hit.node && pane.standInFor == main.selected)) main.SelectNode(hit.node);
        pane.Repaint();
        if (click == Click::Double) {
            if (hit.cut)
                main.SwitchView(kViewTree);
            else
                EditSelectedValue(main);
        }
        return 0;
    }
    pane.Repaint();
    return 0;
}

LRESULT onMouseMove(GridPane& pane, LPARAM lParam) {
    if (!pane.dragging) return 0;
    const unsigned dpi = pane.mainWindow->palette.dpi;
    const POINT p = contentPoint(pane, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
    const int width = std::max(scaleDips(kGridMinColumn, dpi), static_cast<int>(p.x) - pane.drag.left);
    pane.columnWidths[{pane.drag.key, pane.drag.column}] = static_cast<uint32_t>(MulDiv(width, 96, static_cast<int>(dpi)));
    pane.ColumnWidthChanged(pane.drag.key, pane.drag.column);
    UpdateWindow(pane.window);
    return 0;
}

void endDrag(GridPane& pane, bool release) {
    if (!pane.dragging) return;
    pane.dragging = false;
    if (release && GetCapture() == pane.window) ReleaseCapture();
}

LRESULT onContextMenu(GridPane& pane, LPARAM lParam) {
    const int offset = pane.mainWindow->palette.scale(kContextMenuOffsetDips);
    const GridBox* table = nullptr;
    if (pane.EnsureLayout()) {
        POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (at.x == -1 && at.y == -1) {
            table = pane.TableHolding(pane.mainWindow->selected);
        } else {
            ScreenToClient(pane.window, &at);
            const POINT p = contentPoint(pane, at.x, at.y);
            table = HitNode(*pane.layout.root, p.x, p.y, pane.Metrics()).table;
        }
    }
    pane.menuTableKey = table ? table->frame->key : nullptr;
    const LRESULT result = ShowViewContextMenu(*pane.mainWindow, pane.window, lParam, POINT{offset, offset});
    pane.menuTableKey = nullptr;
    return result;
}

LRESULT dispatch(GridPane& pane, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE: pane.UpdateScrollBars(); pane.Repaint(); return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS: pane.Repaint(); return 0;
        case WM_PAINT: return onPaint(pane, nullptr);
        case WM_PRINTCLIENT: return onPaint(pane, reinterpret_cast<HDC>(wParam));
        case WM_ERASEBKGND: return 1;
        case WM_SETCURSOR: return onSetCursor(pane, window, wParam, lParam);
        case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTALLKEYS | DLGC_WANTCHARS;
        case WM_KEYDOWN: return onKeyDown(pane, message, wParam, lParam);
        case WM_CHAR: return 0;
        case WM_HSCROLL: return onScroll(pane, SB_HORZ, wParam);
        case WM_VSCROLL: return onScroll(pane, SB_VERT, wParam);
        case WM_MOUSEWHEEL: return onMouseWheel(pane, wParam, false);
        case WM_MOUSEHWHEEL: return onMouseWheel(pane, wParam, true);
        case WM_LBUTTONDOWN: return onButton(pane, lParam, Click::Left);
        case WM_LBUTTONDBLCLK: return onButton(pane, lParam, Click::Double);
        case WM_RBUTTONDOWN: return onButton(pane, lParam, Click::Right);
        case WM_MOUSEMOVE: return onMouseMove(pane, lParam);
        case WM_LBUTTONUP: endDrag(pane, true); return 0;
        case WM_CAPTURECHANGED: endDrag(pane, false); return 0;
        case WM_CONTEXTMENU: return onContextMenu(pane, lParam);
        case WM_CTLCOLOREDIT: return InPlaceEditorColours(*pane.mainWindow, reinterpret_cast<HDC>(wParam));
        default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

LRESULT CALLBACK GridWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return paneWindowProc<GridPane, dispatch>(window, message, wParam, lParam);
}

}  // namespace qm
