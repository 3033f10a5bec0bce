// Named colour slots of the palette, shared by the portable code (token classes of the syntax
// colouring, badge colours by node kind) and the Windows palette that fills them.
#pragma once

#include <cstdint>

namespace qm {

enum class ColorSlot : uint8_t {
    chrome, background, surface, border, text, dimText, hover, pressed, field, accent, accentText,
    selection, inactiveSelection, stripe, accentTint, gridLine, headerBackground, warning,
    // the search field's frame after a failed search; the current and the other occurrences
    searchFailed, currentMatch, otherMatch,
    // the eight token colours, in token-slot order 0..7
    tag, attributeName, string, comment, directive, entityType, number, constant,
    Count
};

constexpr int kTokenSlotCount = 8;
// Token slot k (0..7) as a palette slot.
constexpr ColorSlot tokenSlot(int k) { return static_cast<ColorSlot>(static_cast<int>(ColorSlot::tag) + k); }

}  // namespace qm
