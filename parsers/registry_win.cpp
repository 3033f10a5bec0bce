// The Windows side of the .reg reader: hex strings of REGEDIT4 files are in the system's ANSI
// code page, which only MultiByteToWideChar(CP_ACP) knows.
#include <windows.h>

#include "document/textfile.h"
#include "parsers/registry.h"

namespace qm {

static void windowsAnsiDecoder(const uint8_t* data, size_t size, std::wstring& out) {
    if (!windowsCodePageConverter(CP_ACP, false, data, size, out)) out.clear();
}

void installRegistryAnsiDecoder() { setRegistryAnsiDecoder(windowsAnsiDecoder); }

}  // namespace qm
