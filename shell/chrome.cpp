#include "shell/chrome.h"

#include <algorithm>

#include "appearance/glyphs.h"
#include "document/language.h"

namespace qm {

const wchar_t* toolbarLabel(int32_t action) {
    switch (action) {
        case kActionTreeTab: return tr(L"Tree", L"Baum");
        case kActionGridTab: return tr(L"Grid", L"Raster");
        case kActionSourceTab: return tr(L"Source", L"Quelltext");
        case kActionExpandAll: return tr(L"Expand all", L"Alle aufklappen");
        case kActionCollapseAll: return tr(L"Collapse all", L"Alle zuklappen");
        case kActionAutoFit: return tr(L"Fit column width to content", L"Spaltenbreite an Inhalt anpassen");
        case kActionCounts: return tr(L"Show number of child nodes", L"Anzahl der Unterknoten anzeigen");
        case kActionSearchButton: return tr(L"Search", L"Suchen");
        case kActionPreviousMatch: return tr(L"Previous match", L"Vorheriger Treffer");
        case kActionNextMatch: return tr(L"Next match", L"N\u00E4chster Treffer");
        case kActionRegexToggle: return tr(L"Regular expression", L"Regul\u00E4rer Ausdruck");
        case kActionFilterToggle: return tr(L"Filter: show only matching nodes", L"Filtern: nur passende Knoten zeigen");
        default: return L"";
    }
}

wchar_t toolbarGlyph(int32_t action) {
    switch (action) {
        case kActionTreeTab: return kGlyphTree;
        case kActionGridTab: return kGlyphGrid;
        case kActionSourceTab: return kGlyphSource;
        case kActionExpandAll: return kGlyphChevronDown;
        case kActionCollapseAll: return kGlyphChevronUp;
        case kActionAbout: return kGlyphInfo;
        case kActionSearchButton: return kGlyphSearch;
        case kActionPreviousMatch: return kGlyphChevronUp;
        case kActionNextMatch: return kGlyphChevronDown;
        case kActionFilterToggle: return kGlyphFilter;
        default: return 0;
    }
}

bool isItemActive(int32_t action, int view) {
    switch (action) {
        case kActionExpandAll:
        case kActionCollapseAll: return view != kViewSource;
        case kActionAutoFit: return view == kViewGrid;
        case kActionCounts: return view == kViewTree;
        case kActionFilterToggle: return view != kViewSource;
        default: return true;
    }
}

int hitTestItems(const std::vector<ChromeItem>& items, int view, int x, int y) {
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].rect.contains(x, y) && isItemActive(items[i].action, view)) return int(i);
    return -1;
}

ChromeLayout layoutChromeItems(const ChromeInput& in) {
    ChromeLayout out;
    auto S = in.scale;
    const int W = in.width, H = in.height;
    const int stripHeight = in.buttonsMode == kButtonsTop ? S(kStripHeight) : 0;
    const int statusHeight = S(kStatusHeight);
    out.toolbar = Box{0, 0, W, stripHeight};
    out.status = Box{0, std::max(stripHeight, H - statusHeight), W, H};
    out.view = Box{0, stripHeight, W, stripHeight + std::max(0, out.status.top - stripHeight)};

    auto add = [&](int32_t action, Box rect, bool iconOnly = false) {
        ChromeItem item;
        item.action = action;
        item.glyph = toolbarGlyph(action);
        if (action != kActionAbout && action != kActionSearchField) item.label = toolbarLabel(action);
        item.rect = rect;
        item.iconOnly = iconOnly;
        out.items.push_back(std::move(item));
    };

    const int aboutSize = S(kAboutIconSize);
    const int aboutTop = out.status.top + (out.status.height() - aboutSize) / 2;
    add(kActionAbout, Box{S(kAboutIconLeft), aboutTop, S(kAboutIconLeft) + aboutSize, aboutTop + aboutSize});
    if (in.buttonsMode == kButtonsHidden) return out;

    const bool top = in.buttonsMode == kButtonsTop;
    int x, y, h;
    if (top) {
        x = S(kStripButtonLeft);
        y = S(kStripButtonTop);
        h = S(kStripButtonHeight);
    } else {
        x = S(kAboutIconLeft) + S(kStatusButtonGap) + S(kAboutIconSize);
        h = S(kStatusButtonHeight);
        y = out.status.top + (out.status.height() - h) / 2;
    }
    const int gap = S(kSearchGap);
    const int autoFitWidth = in.labelWidth(toolbarLabel(kActionAutoFit));
    const int countsWidth = in.labelWidth(toolbarLabel(kActionCounts));
    const int spacedButton = S(kButtonPadding + kButtonGap);
    // In the status bar the items stop where the status text begins (at least the reserve).
    const int statusRoom =
        std::max(S(kStatusRightReserve), in.statusTextWidth + S(kStatusRightInset) + S(kStatusTextGap));
    const int rightEdge = W - (top ? S(kStripRightInset) : statusRoom);
    const int32_t tabs[] = {kActionTreeTab, kActionGridTab, kActionSourceTab};
    int tabsEnd = x;
    for (int32_t action : tabs) tabsEnd += in.labelWidth(toolbarLabel(action)) + S(kButtonPadding);
    tabsEnd += S(kButtonGap);

    // What the items take with labels or as icons: the switches, and Expand all with Collapse all.
    bool iconButtons = false, iconSwitches = false;
    auto switchWidth = [&] {
        return iconSwitches ? S(kIconSwitchWidth) : std::max(autoFitWidth, countsWidth) + S(kSwitchPadding);
    };
    auto buttonsWidth = [&] {
        if (iconButtons) return 2 * (S(kIconButtonWidth) + S(kButtonGap));
        return in.labelWidth(toolbarLabel(kActionExpandAll)) + spacedButton +
               in.labelWidth(toolbarLabel(kActionCollapseAll)) + spacedButton;
    };
    // The room left for the search field between the tabs (and the search button) and the
    // buttons and switches; negative when there is none.
    const bool searchButton = in.searchMode == kSearchFieldBehindButton;
    const bool wantsField = in.searchMode != kSearchFieldNone && (in.searchMode == kSearchFieldShown || in.searchOpen);
    auto fieldRoom = [&] {
        const int before = tabsEnd + S(kSearchLead) + (searchButton ? h + gap : 0);
        const int after = 4 * (gap + h) + buttonsWidth() + S(kSwitchReserveGap) + switchWidth();
        return rightEdge - before - after;
    };
    const int fieldPreferred = top ? S(kSearchFieldWidthTop) : S(kSearchFieldWidthStatus);
    const int fieldMinimum = std::min(S(kSearchFieldMinWidth), fieldPreferred);
    int fieldWidth = 0;
    if (wantsField) {
        if (fieldRoom() < fieldMinimum) iconButtons = true;
        if (fieldRoom() < fieldMinimum) iconSwitches = true;
        if (fieldRoom() >= fieldMinimum) {
            fieldWidth = std::min(fieldPreferred, fieldRoom());
        } else {
            iconButtons = iconSwitches = false;  // the field is left out: the labels come back
        }
    }
    // Without the field, nothing reaches past the window's edge while labels can go.
    auto itemsEnd = [&] {
        return tabsEnd + (searchButton ? S(kSearchLead) + h + gap : 0) + S(kSearchGroupTrail) + buttonsWidth() +
               (top ? 0 : S(kStatusSwitchGap)) + switchWidth();
    };
    const int limit = top ? W - S(kStripRightInset) : std::max(W - statusRoom, 0);
    if (fieldWidth == 0) {
        if (itemsEnd() > limit) iconButtons = true;
        if (itemsEnd() > limit) iconSwitches = true;
    }

    const int32_t entries[] = {kActionTreeTab, kActionGridTab, kActionSourceTab, kActionExpandAll, kActionCollapseAll};
    for (int32_t action : entries) {
        if (action == kActionExpandAll) {
            int lead = S(kSearchLead);
            const int available = rightEdge - (buttonsWidth() + S(kSwitchReserveGap) + switchWidth());
            if (searchButton && x + lead + h <= available) {
                add(kActionSearchButton, Box{x + lead, y, x + lead + h, y + h});
                x = x + lead + h + gap;
                lead = 0;
            }
            if (fieldWidth > 0) {
                Box field{x + lead, y, x + lead + fieldWidth, y + h};
                add(kActionSearchField, field);
                out.searchField = field;
                int bx = field.right;
                for (int32_t a : {kActionPreviousMatch, kActionNextMatch, kActionRegexToggle, kActionFilterToggle}) {
                    bx += gap;
                    add(a, Box{bx, y, bx + h, y + h});
                    bx += h;
                }
                x = bx;
            }
            x += S(kSearchGroupTrail);
        }
        const bool icon = iconButtons && (action == kActionExpandAll || action == kActionCollapseAll);
        const int width = icon ? S(kIconButtonWidth) : in.labelWidth(toolbarLabel(action)) + S(kButtonPadding);
        add(action, Box{x, y, x + width, y + h}, icon);
        x += width;
        if (action != kActionTreeTab && action != kActionGridTab) x += S(kButtonGap);
    }
    if (!top) x += S(kStatusSwitchGap);
    const int w1 = iconSwitches ? S(kIconSwitchWidth) : autoFitWidth + S(kSwitchPadding);
    const int w2 = iconSwitches ? S(kIconSwitchWidth) : countsWidth + S(kSwitchPadding);
    if (top) {
        const int right = W - S(kStripRightInset);
        add(kActionAutoFit, Box{std::max(x, right - w1), y, std::max(x, right - w1) + w1, y + h}, iconSwitches);
        add(kActionCounts, Box{std::max(x, right - w2), y, std::max(x, right - w2) + w2, y + h}, iconSwitches);
    } else {
        add(kActionAutoFit, Box{x, y, x + w1, y + h}, iconSwitches);
        add(kActionCounts, Box{x, y, x + w2, y + h}, iconSwitches);
    }
    return out;
}

std::wstring FormatThousands(uint64_t n) {
    std::wstring digits = std::to_wstring(n);
    const wchar_t separator = uiGerman ? L'.' : L',';
    std::wstring out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += separator;
        out += digits[i];
    }
    return out;
}

std::wstring statusText(const Document& doc) {
    if (!doc.errorMessage.empty())
        return tr(L"Line ", L"Zeile ") + std::to_wstring(doc.errorLine) + L": " + doc.errorMessage;
    std::wstring text;
    if (doc.modified) text = tr(L"Modified (Ctrl+S saves)  \u00B7  ", L"Ge\u00E4ndert (Strg+S speichert)  \u00B7  ");
    text += formatDisplayName(doc.format);
    text += L"  \u00B7  ";
    text += doc.encoding;
    text += L"  \u00B7  ";
    const uint64_t nodes = nodeCount(doc);
    text += FormatThousands(nodes);
    text += nodes == 1 ? tr(L" node", L" Knoten") : tr(L" nodes", L" Knoten");
    return text;
}

const wchar_t* searchOutcomeText(SearchOutcome outcome) {
    switch (outcome) {
        case SearchOutcome::Stopped:
            return tr(L"Search stopped: too much work. Narrow the search.",
                      L"Suche abgebrochen: zu aufwendig. Suche eingrenzen.");
        case SearchOutcome::InvalidPattern:
            return tr(L"Invalid or unsupported regular expression",
                      L"Ung\u00FCltiger oder nicht unterst\u00FCtzter regul\u00E4rer Ausdruck");
        default: return L"";
    }
}

}  // namespace qm

namespace qm {

std::wstring filterStatusText(size_t matched) {
    const std::wstring n = FormatThousands(matched);
    if (uiGerman) return L"Filter: " + n + L" Treffer";
    return L"Filter: " + n + (matched == 1 ? L" match" : L" matches");
}

namespace {

std::wstring progressText(const wchar_t* what, int percent) {
    return what + std::to_wstring(percent) + L" %" + tr(L" (Esc stops)", L" (Esc bricht ab)");
}

}  // namespace

std::wstring filterProgressText(int percent) {
    return progressText(tr(L"Filtering\u2026 ", L"Filtern\u2026 "), percent);
}

std::wstring copyProgressText(int percent) {
    return progressText(tr(L"Copying the table\u2026 ", L"Tabelle wird kopiert\u2026 "), percent);
}

std::wstring sortProgressText(int percent) {
    return progressText(tr(L"Sorting\u2026 ", L"Sortieren\u2026 "), percent);
}

std::wstring searchProgressText(int percent) {
    return progressText(tr(L"Searching\u2026 ", L"Suchen\u2026 "), percent);
}

std::wstring bulkProgressText(bool expand, int percent) {
    return progressText(expand ? tr(L"Expanding all\u2026 ", L"Alles wird aufgeklappt\u2026 ")
                               : tr(L"Collapsing all\u2026 ", L"Alles wird zugeklappt\u2026 "),
                        percent);
}

std::wstring gridBuildProgressText(int percent) {
    return progressText(tr(L"Building the grid\u2026 ", L"Raster wird aufgebaut\u2026 "), percent);
}

std::wstring sourceCopyProgressText(int percent) {
    return progressText(tr(L"Copying the source\u2026 ", L"Quelltext wird kopiert\u2026 "), percent);
}

}  // namespace qm
