// The GUI tests' answer to "Edit value": a gesture that starts an edit (a double-click on a leaf,
// F4, Enter) must not leave a test waiting in the editor's own message loop, so every edit is
// cancelled unless a test installs an answer of its own.
#include <string>

#include "edit/editing.h"

namespace {

bool cancelEdit(qm::MainWindow&, std::wstring&) { return false; }

const bool installed = [] {
    qm::valueEditorOverride = cancelEdit;
    return true;
}();

}  // namespace
