// What an error message quotes from the file (a bad token, a tag or anchor name) is cut to a
// readable length: the message goes to the status bar, and a hostile file must not turn a token
// of ten million characters into a status text of that size.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qm {

// Characters of a quoted token that a message keeps before "…" (U+2026).
constexpr size_t kMaxQuotedInMessage = 40;

// The token whole when it has at most kMaxQuotedInMessage characters, else its first ones and
// "…". A surrogate pair at the cut stays whole by leaving it out.
inline std::wstring quotedInMessage(std::wstring_view token) {
    if (token.size() <= kMaxQuotedInMessage) return std::wstring(token);
    size_t keep = kMaxQuotedInMessage;
    if (token[keep - 1] >= 0xD800 && token[keep - 1] <= 0xDBFF) --keep;
    std::wstring out(token.substr(0, keep));
    out += L'\u2026';
    return out;
}

}  // namespace qm
