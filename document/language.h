// The process-wide interface language. Every user-visible text is chosen at the moment it is
// produced, so all windows of the process share one language.
#pragma once

namespace qm {

extern bool uiGerman;

inline const wchar_t* tr(const wchar_t* english, const wchar_t* german) { return uiGerman ? german : english; }

}  // namespace qm
