// quillmap-host.exe: a small Lister of our own for development and demos. It loads the plug-in
// DLL the way Total Commander does, shows one file in a top-level window and drives the plug-in
// through its exports: N / P load the next / previous file of the folder, F3 and Ctrl+F search
// for the --find text, D toggles the host's dark mode (lc_newparams), Esc closes.
//
//   quillmap-host.exe [--plugin DLL] [--dark] [--find TEXT] [--view tree|grid|source] [--timing]
//                     [--keys KEYS] [--click X,Y] [--search TEXT] [--goto PATH] [--screenshot OUT.png] FILE
//
// --view switches the plug-in to that view after loading (as Ctrl+1..3 do), so a screenshot of
// each view can be taken; --keys presses keys in the view before the screenshot, as a list such
// as "ctrl+add,next*40" (add, subtract, home, end, prior, next, up, down, right, left, multiply,
// each with an optional "ctrl+" and a count, and f3 or shift+f3, the host's search for the --find
// text forward or backward); --click clicks the active view at a point of its client area (a
// grid's column header sorts its table); --search types TEXT into the search box and presses Enter
// (with "SearchFilter=1" in Quillmap.ini that filters); --goto presses Ctrl+G, types PATH into the
// field and presses Enter (the screenshot is taken of the field with PATH typed, and --timing prints
// the time from Enter to the node revealed and painted); --screenshot renders the plug-in window with its children into a PNG
// and exits (no display needed); --timing prints the time from ListLoadW to the first painted
// view and the peak working set, and with --view the time from the switch to the view's first
// painted screen, the memory the switch added and the time to paint the end of the file; with
// --keys the time from the first key to the view painted after the last.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "appearance/capture_win.h"
#include "shell/lister.h"

namespace {

using qm::kListerIniNameSize;
using qm::lc_newparams;
using qm::lcp_darkmode;
using qm::lcs_backwards;
using qm::lcs_findfirst;

using ListLoadWFn = HWND(__stdcall*)(HWND, const wchar_t*, int);
using ListLoadNextWFn = int(__stdcall*)(HWND, HWND, const wchar_t*, int);
using ListCloseWindowFn = void(__stdcall*)(HWND);
using ListGetDetectStringFn = void(__stdcall*)(char*, int);
using ListSearchTextWFn = int(__stdcall*)(HWND, const wchar_t*, int);
using ListSendCommandFn = int(__stdcall*)(HWND, int, int);
using ListSetDefaultParamsFn = void(__stdcall*)(qm::ListDefaultParamStruct*);

constexpr int kDetectBufferChars = 2048;

struct Plugin {
    HMODULE module = nullptr;
    ListLoadWFn load = nullptr;
    ListLoadNextWFn loadNext = nullptr;
    ListCloseWindowFn close = nullptr;
    ListGetDetectStringFn detect = nullptr;
    ListSearchTextWFn search = nullptr;
    ListSendCommandFn command = nullptr;
    ListSetDefaultParamsFn defaults = nullptr;
};

struct Host {
    Plugin plugin;
    HWND window = nullptr;
    HWND pluginWindow = nullptr;
    std::wstring file;
    std::wstring findText;
    std::vector<std::wstring> extensions;  // from the detect string, upper case
    bool dark = false;
    // --goto: the path typed into Ctrl+G's field, the picture taken of it, and when Enter went.
    std::wstring gotoPath;
    std::wstring gotoShot;
    bool gotoShotOk = false;
    LARGE_INTEGER gotoEnter{};
    // --timing with --keys: the work a key started in slices (the plug-in's timer messages) is
    // waited for before the next key, counted, and its longest message kept.
    bool settleKeys = false;
    size_t slices = 0;
    double longestSlice = 0;
    LARGE_INTEGER lastWork{};  // when the last message dispatched ended
    double keySeconds = 0;     // the keys' time to their work done, the quiet after each not counted
};

Host host;

std::wstring exeFolder() {
    wchar_t buffer[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    std::wstring path = buffer;
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

template <class Fn>
bool lookUp(HMODULE module, const char* name, Fn& fn) {
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return fn != nullptr;
}

bool loadPlugin(const std::wstring& path, Plugin& p) {
    p.module = LoadLibraryW(path.c_str());
    if (!p.module) return false;
    return lookUp(p.module, "ListLoadW", p.load) && lookUp(p.module, "ListLoadNextW", p.loadNext) &&
           lookUp(p.module, "ListCloseWindow", p.close) && lookUp(p.module, "ListGetDetectString", p.detect) &&
           lookUp(p.module, "ListSearchTextW", p.search) && lookUp(p.module, "ListSendCommand", p.command) &&
           lookUp(p.module, "ListSetDefaultParams", p.defaults);
}

// The EXT="..." names of a detect string.
std::vector<std::wstring> detectExtensions(const std::string& detect) {
    std::vector<std::wstring> out;
    size_t pos = 0;
    while ((pos = detect.find("EXT=\"", pos)) != std::string::npos) {
        pos += 5;
        const size_t end = detect.find('"', pos);
        if (end == std::string::npos) break;
        out.emplace_back(detect.begin() + static_cast<long>(pos), detect.begin() + static_cast<long>(end));
        pos = end + 1;
    }
    return out;
}

std::wstring upper(std::wstring s) {
    CharUpperBuffW(&s[0], static_cast<DWORD>(s.size()));
    return s;
}

bool offeredToPlugin(const std::wstring& name) {
    const size_t dot = name.find_last_of(L'.');
    if (dot == std::wstring::npos) return false;
    const std::wstring ext = upper(name.substr(dot + 1));
    return std::find(host.extensions.begin(), host.extensions.end(), ext) != host.extensions.end();
}

void updateTitle(const wchar_t* note) {
    std::wstring title = L"Quillmap host - " + host.file;
    if (note && *note) title += std::wstring(L" - ") + note;
    SetWindowTextW(host.window, title.c_str());
}

// N / P: the next or previous file of the folder that the plug-in accepts, in name order.
void loadNeighbour(int step) {
    const size_t cut = host.file.find_last_of(L"\\/");
    const std::wstring folder = cut == std::wstring::npos ? L"" : host.file.substr(0, cut + 1);
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd{};
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && offeredToPlugin(fd.cFileName))
            names.push_back(folder + fd.cFileName);
    } while (FindNextFileW(find, &fd));
    FindClose(find);
    std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
        return lstrcmpiW(a.c_str(), b.c_str()) < 0;
    });
    auto it = std::find_if(names.begin(), names.end(),
                           [](const std::wstring& n) { return lstrcmpiW(n.c_str(), host.file.c_str()) == 0; });
    long long index = it == names.end() ? -1 : it - names.begin();
    const long long count = static_cast<long long>(names.size());
    for (long long tries = 0; tries < count; ++tries) {
        index = ((index + step) % count + count) % count;
        if (host.plugin.loadNext(host.window, host.pluginWindow, names[index].c_str(), host.dark ? lcp_darkmode : 0) == 0) {
            host.file = names[index];
            updateTitle(nullptr);
            return;
        }
    }
}

void search(int flags) {
    if (host.findText.empty()) {
        updateTitle(L"no --find text");
        return;
    }
    const int result = host.plugin.search(host.pluginWindow, host.findText.c_str(), flags);
    updateTitle(result == 0 ? L"found" : L"not found");
}

void onKey(WPARAM key) {
    const bool ctrl = GetKeyState(VK_CONTROL) < 0;
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    switch (key) {
        case 'N': loadNeighbour(1); break;
        case 'P': loadNeighbour(-1); break;
        case VK_ESCAPE: DestroyWindow(host.window); break;
        case VK_F3: search(shift ? lcs_backwards : 0); break;
        case 'F':
            if (ctrl) search(lcs_findfirst);
            break;
        case 'D':
            host.dark = !host.dark;
            host.plugin.command(host.pluginWindow, lc_newparams, host.dark ? lcp_darkmode : 0);
            break;
        default: break;
    }
}

LRESULT CALLBACK hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            if (host.pluginWindow) MoveWindow(host.pluginWindow, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
            return 0;
        case WM_SETFOCUS:
            if (host.pluginWindow) SetFocus(host.pluginWindow);
            return 0;
        case WM_KEYDOWN: onKey(wParam); return 0;
        case WM_DESTROY:
            if (host.pluginWindow) host.plugin.close(host.pluginWindow);
            host.pluginWindow = nullptr;
            PostQuitMessage(0);
            return 0;
        default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

// ---- screenshot ----

uint32_t crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
    static uint32_t table[256];
    if (!table[1]) {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
    }
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void putBigEndian(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

void putChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    putBigEndian(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putBigEndian(out, crc32(out.data() + start, out.size() - start));
}

// An RGB PNG of top-down BGRA pixels, with stored (uncompressed) deflate blocks: no library needed.
std::vector<uint8_t> encodePng(const uint32_t* pixels, int width, int height) {
    std::vector<uint8_t> raw;
    raw.reserve(static_cast<size_t>(height) * (width * 3 + 1));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // filter: none
        for (int x = 0; x < width; ++x) {
            const uint32_t p = pixels[static_cast<size_t>(y) * width + x];
            raw.push_back(static_cast<uint8_t>(p >> 16));
            raw.push_back(static_cast<uint8_t>(p >> 8));
            raw.push_back(static_cast<uint8_t>(p));
        }
    }
    std::vector<uint8_t> z{0x78, 0x01};
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    constexpr size_t kStoredBlock = 65535;
    for (size_t pos = 0; pos < raw.size() || pos == 0; pos += kStoredBlock) {
        const size_t n = std::min(kStoredBlock, raw.size() - pos);
        z.push_back(pos + n >= raw.size() ? 1 : 0);
        z.push_back(static_cast<uint8_t>(n));
        z.push_back(static_cast<uint8_t>(n >> 8));
        z.push_back(static_cast<uint8_t>(~n));
        z.push_back(static_cast<uint8_t>(~n >> 8));
        z.insert(z.end(), raw.begin() + static_cast<long>(pos), raw.begin() + static_cast<long>(pos + n));
        if (raw.empty()) break;
    }
    putBigEndian(z, (b << 16) | a);

    std::vector<uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    putBigEndian(header, static_cast<uint32_t>(width));
    putBigEndian(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter, no interlace
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", z);
    putChunk(png, "IEND", {});
    return png;
}

bool screenshot(const std::wstring& path) {
    qm::WindowPixels shot;
    if (!qm::captureWithChildren(host.window, host.pluginWindow, shot)) return false;
    const std::vector<uint8_t> png = encodePng(shot.data.data(), shot.width, shot.height);
    HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(out, png.data(), static_cast<DWORD>(png.size()), &written, nullptr);
    CloseHandle(out);
    return ok && written == png.size();
}

void pumpPending() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// The view windows in the order of Ctrl+1..3.
const wchar_t* const kViewClasses[] = {L"QuillmapTree", L"QuillmapGrid", L"QuillmapSource"};
const wchar_t* const kViewNames[] = {L"tree", L"grid", L"source"};

int viewIndex(const std::wstring& name) {
    for (int i = 0; i < 3; ++i)
        if (name == kViewNames[i]) return i;
    return -1;
}

bool viewShown(int view) {
    HWND child = FindWindowExW(host.pluginWindow, nullptr, kViewClasses[view], nullptr);
    return child && IsWindowVisible(child);
}

// A key pressed in the plug-in's active view, with Ctrl held as GetKeyState sees it.
void pressKey(WPARAM key, bool ctrl) {
    BYTE saved[256], held[256];
    GetKeyboardState(saved);
    std::copy(saved, saved + 256, held);
    held[VK_CONTROL] = ctrl ? 0x80 : 0;
    SetKeyboardState(held);
    HWND target = GetFocus();
    if (!target || !IsChild(host.pluginWindow, target)) target = host.pluginWindow;
    SendMessageW(target, WM_KEYDOWN, key, 1);
    SetKeyboardState(saved);
}

// Runs inside the Ctrl+G field's own message loop: types the path, takes the picture, presses Enter.
void CALLBACK typeGotoPath(HWND window, UINT, UINT_PTR id, DWORD) {
    KillTimer(window, id);
    HWND field = GetFocus();
    if (!field || !IsChild(host.pluginWindow, field)) return;
    SetWindowTextW(field, host.gotoPath.c_str());
    if (!host.gotoShot.empty()) {
        RedrawWindow(host.window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        host.gotoShotOk = screenshot(host.gotoShot);
    }
    QueryPerformanceCounter(&host.gotoEnter);
    SendMessageW(field, WM_KEYDOWN, VK_RETURN, 1);
}

// A left click at a point of the active view's client area.
void clickView(const std::wstring& point) {
    const size_t comma = point.find(L',');
    const int x = _wtoi(point.c_str()), y = comma == std::wstring::npos ? 0 : _wtoi(point.c_str() + comma + 1);
    for (int view = 0; view < 3; ++view) {
        if (!viewShown(view)) continue;
        HWND target = FindWindowExW(host.pluginWindow, nullptr, kViewClasses[view], nullptr);
        SendMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        SendMessageW(target, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    }
}

// Types into the plug-in's search box and presses Enter there.
bool searchInBox(const std::wstring& text) {
    HWND box = FindWindowExW(host.pluginWindow, nullptr, L"Edit", nullptr);
    if (!box) return false;
    SetWindowTextW(box, text.c_str());
    SendMessageW(box, WM_KEYDOWN, VK_RETURN, 1);
    return true;
}

// The processor time the process has used, user and kernel: on a busy machine a steadier
// figure than the time that passed.
double cpuSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    auto value = [](const FILETIME& t) { return (double(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) * 1e-7; };
    return value(kernel) + value(user);
}

double seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

// Dispatches the messages that work in slices brings (its timer messages) until none came for a
// fifth of a second.
void settle() {
    constexpr double kQuietSeconds = 0.2;
    LARGE_INTEGER frequency, quietSince;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&quietSince);
    host.lastWork = quietSince;
    for (;;) {
        MSG msg;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            LARGE_INTEGER from, to;
            QueryPerformanceCounter(&from);
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            QueryPerformanceCounter(&to);
            if (msg.message == WM_TIMER) {
                ++host.slices;
                host.longestSlice = std::max(host.longestSlice, double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart));
            }
            host.lastWork = quietSince = to;
            continue;
        }
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        if (double(now.QuadPart - quietSince.QuadPart) / double(frequency.QuadPart) > kQuietSeconds) return;
        Sleep(1);
    }
}

// Presses the keys of a --keys list; false for a name it does not know.
bool pressKeys(const std::wstring& list) {
    static const struct {
        const wchar_t* name;
        WPARAM key;
    } kKeys[] = {{L"add", VK_ADD}, {L"subtract", VK_SUBTRACT}, {L"home", VK_HOME}, {L"end", VK_END},
                 {L"prior", VK_PRIOR}, {L"next", VK_NEXT}, {L"up", VK_UP}, {L"down", VK_DOWN},
                 {L"right", VK_RIGHT}, {L"left", VK_LEFT}, {L"multiply", VK_MULTIPLY}, {L"f3", VK_F3}};
    size_t from = 0;
    while (from < list.size()) {
        size_t to = list.find(L',', from);
        if (to == std::wstring::npos) to = list.size();
        const std::wstring name = list.substr(from, to - from);
        std::wstring item = name;
        from = to + 1;
        const bool ctrl = item.compare(0, 5, L"ctrl+") == 0;
        if (ctrl) item.erase(0, 5);
        const bool shift = item.compare(0, 6, L"shift+") == 0;
        if (shift) item.erase(0, 6);
        int count = 1;
        const size_t star = item.find(L'*');
        if (star != std::wstring::npos) {
            count = std::max(1, std::min(_wtoi(item.c_str() + star + 1), 100000));
            item.erase(star);
        }
        WPARAM key = 0;
        for (const auto& k : kKeys)
            if (item == k.name) key = k.key;
        if (!key) return false;
        for (int i = 0; i < count; ++i) {
            LARGE_INTEGER pressed;
            QueryPerformanceCounter(&pressed);
            const double cpu = cpuSeconds();
            const size_t slices = host.slices;
            host.longestSlice = 0;
            // F3 is the host's own key: it calls the plug-in's search, as Lister does.
            if (key == VK_F3)
                search(shift ? lcs_backwards : 0);
            else
                pressKey(key, ctrl);
            if (!host.settleKeys) continue;
            LARGE_INTEGER handled;
            QueryPerformanceCounter(&handled);
            settle();
            const double spent = seconds(pressed, host.lastWork);
            host.keySeconds += spent;
            wprintf(L"key %ls: %.3f s to the painted view (%.3f s of processor time), its own message %.3f s, %zu timer "
                    L"messages (the longest %.3f s)\n",
                    name.c_str(), spent, cpuSeconds() - cpu, seconds(pressed, handled), host.slices - slices,
                    host.longestSlice);
        }
    }
    return true;
}

void paintNow() { RedrawWindow(host.window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN); }

double megabytes(SIZE_T bytes) { return double(bytes) / 1048576.0; }

PROCESS_MEMORY_COUNTERS memoryNow() {
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
    return pmc;
}

void fail(const wchar_t* what) {
    fwprintf(stderr, L"quillmap-host: %ls\n", what);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring pluginPath = exeFolder() + (sizeof(void*) == 8 ? L"Quillmap.wlx64" : L"Quillmap.wlx");
    std::wstring shotPath;
    bool timing = false;
    int view = -1;
    bool badView = false;
    std::wstring keys, click, search;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--plugin" && i + 1 < argc) pluginPath = argv[++i];
        else if (arg == L"--screenshot" && i + 1 < argc) shotPath = argv[++i];
        else if (arg == L"--find" && i + 1 < argc) host.findText = argv[++i];
        else if (arg == L"--dark") host.dark = true;
        else if (arg == L"--timing") timing = true;
        else if (arg == L"--keys" && i + 1 < argc) keys = argv[++i];
        else if (arg == L"--click" && i + 1 < argc) click = argv[++i];
        else if (arg == L"--search" && i + 1 < argc) search = argv[++i];
        else if (arg == L"--goto" && i + 1 < argc) host.gotoPath = argv[++i];
        else if (arg == L"--view") {
            view = i + 1 < argc ? viewIndex(argv[++i]) : -1;
            badView = view < 0;
        } else host.file = arg;
    }
    if (host.file.empty() || badView) {
        fail(L"usage: quillmap-host [--plugin DLL] [--dark] [--find TEXT] [--view tree|grid|source] [--timing] "
             L"[--keys KEYS] [--click X,Y] [--search TEXT] [--goto PATH] [--screenshot OUT.png] FILE");
        return 2;
    }
    if (!loadPlugin(pluginPath, host.plugin)) {
        fail((L"cannot load the plug-in " + pluginPath).c_str());
        return 2;
    }

    qm::ListDefaultParamStruct params{};
    params.size = sizeof params;
    params.pluginInterfaceVersionLow = 10;
    params.pluginInterfaceVersionHi = 2;
    const std::wstring ini = exeFolder() + L"lsplugin.ini";
    WideCharToMultiByte(CP_ACP, 0, ini.c_str(), -1, params.defaultIniName, kListerIniNameSize - 1, nullptr, nullptr);
    host.plugin.defaults(&params);
    std::string detect(kDetectBufferChars, '\0');
    host.plugin.detect(&detect[0], kDetectBufferChars);
    for (const std::wstring& ext : detectExtensions(detect.c_str())) host.extensions.push_back(upper(ext));

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = hostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"QuillmapHost";
    RegisterClassExW(&wc);
    host.window = CreateWindowExW(0, wc.lpszClassName, L"Quillmap host", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                  1000, 700, nullptr, nullptr, wc.hInstance, nullptr);
    if (!host.window) {
        fail(L"cannot create the host window");
        return 2;
    }
    ShowWindow(host.window, SW_SHOW);

    LARGE_INTEGER t0, t1, t2;
    QueryPerformanceCounter(&t0);
    host.pluginWindow = host.plugin.load(host.window, host.file.c_str(), host.dark ? lcp_darkmode : 0);
    QueryPerformanceCounter(&t1);
    if (!host.pluginWindow) {
        fail((L"the plug-in declined " + host.file).c_str());
        DestroyWindow(host.window);
        return 1;
    }
    updateTitle(nullptr);
    SetFocus(host.pluginWindow);
    paintNow();
    QueryPerformanceCounter(&t2);
    int shown = 0;
    while (shown < 2 && !viewShown(shown)) ++shown;
    if (timing) {
        const PROCESS_MEMORY_COUNTERS pmc = memoryNow();
        wprintf(L"ListLoadW: %.3f s, first painted %ls: %.3f s, peak working set: %.1f MB\n", seconds(t0, t1),
                kViewNames[shown], seconds(t0, t2), megabytes(pmc.PeakWorkingSetSize));
        // A view the plug-in goes on building after ListLoadW (a grid shown at load) comes in
        // timer messages: the time to the last of them and the longest.
        const double cpu = cpuSeconds();
        settle();
        if (host.slices) {
            const int now = viewShown(1) ? 1 : shown;
            wprintf(L"then %ls painted: %.3f s from ListLoadW, after %zu timer messages (the longest %.3f s, %.3f s of "
                    L"processor time)\n",
                    kViewNames[now], seconds(t0, host.lastWork), host.slices, host.longestSlice, cpuSeconds() - cpu);
            shown = now;
            host.slices = 0;
        }
        fflush(stdout);
    }
    if (view >= 0 && view != shown) {
        const PROCESS_MEMORY_COUNTERS before = memoryNow();
        LARGE_INTEGER t3, t4, t5, t6;
        QueryPerformanceCounter(&t3);
        pressKey('1' + view, true);
        LARGE_INTEGER handled;
        QueryPerformanceCounter(&handled);
        // A view built in slices is shown once they are done. settle() returns after a fifth of a
        // second without messages: the time counted ends with the last message it handled (the
        // switch's paint among them) and any painting left, not with that quiet wait.
        if (timing) settle();
        LARGE_INTEGER painting;
        QueryPerformanceCounter(&painting);
        paintNow();
        QueryPerformanceCounter(&t4);
        if (timing) t4.QuadPart = host.lastWork.QuadPart + (t4.QuadPart - painting.QuadPart);
        const PROCESS_MEMORY_COUNTERS after = memoryNow();
        if (timing) {
            wprintf(L"first paint: %.3f s (%ls view, from the switch; its own message %.3f s, %zu timer messages, the "
                    L"longest %.3f s), working set +%.1f MB, private bytes +%.1f MB, peak working set %.1f MB\n",
                    seconds(t3, t4), kViewNames[view], seconds(t3, handled), host.slices, host.longestSlice,
                    megabytes(after.WorkingSetSize) - megabytes(before.WorkingSetSize),
                    megabytes(after.PagefileUsage) - megabytes(before.PagefileUsage), megabytes(after.PeakWorkingSetSize));
            host.slices = 0;
            QueryPerformanceCounter(&t5);
            pressKey(VK_END, false);
            paintNow();
            QueryPerformanceCounter(&t6);
            pressKey(VK_HOME, false);
            paintNow();
            LARGE_INTEGER t7, t8;
            QueryPerformanceCounter(&t7);
            pressKey(VK_END, false);
            paintNow();
            QueryPerformanceCounter(&t8);
            wprintf(L"end of file painted: %.3f s the first time, %.3f s again\n", seconds(t5, t6), seconds(t7, t8));
            pressKey(VK_HOME, false);
            paintNow();
            fflush(stdout);
        }
    } else if (view >= 0 && timing) {
        wprintf(L"first paint: %.3f s (%ls view, shown from the start)\n", seconds(t0, t2), kViewNames[view]);
        fflush(stdout);
    }

    if (!keys.empty()) {
        LARGE_INTEGER k0, k1, k2;
        host.settleKeys = timing;
        const double cpu0 = cpuSeconds();
        QueryPerformanceCounter(&k0);
        if (!pressKeys(keys)) {
            fail((L"unknown key in " + keys).c_str());
            DestroyWindow(host.window);
            return 2;
        }
        QueryPerformanceCounter(&k1);
        paintNow();
        QueryPerformanceCounter(&k2);
        if (timing) {
            // The time waited for quiet after each key's work is not counted.
            wprintf(L"keys %ls: %.3f s to the painted view (%.3f s of processor time), %zu timer messages\n",
                    keys.c_str(), host.keySeconds + seconds(k1, k2), cpuSeconds() - cpu0, host.slices);
            fflush(stdout);
        }
    }
    if (!click.empty()) clickView(click);
    if (!search.empty() && !searchInBox(search)) {
        fail(L"no search box (Search=1 in Quillmap.ini shows it)");
        DestroyWindow(host.window);
        return 2;
    }
    if (!host.gotoPath.empty()) {
        host.gotoShot = shotPath;
        SetTimer(host.window, 1, 50, typeGotoPath);
        pressKey('G', true);
        paintNow();
        LARGE_INTEGER revealed;
        QueryPerformanceCounter(&revealed);
        if (timing) {
            wprintf(L"go to path: %.3f s from Enter to the node revealed and painted\n", seconds(host.gotoEnter, revealed));
            fflush(stdout);
        }
        if (!shotPath.empty()) {
            DestroyWindow(host.window);
            pumpPending();
            if (!host.gotoShotOk) fail((L"cannot write " + shotPath).c_str());
            return host.gotoShotOk ? 0 : 1;
        }
    }
    if (!shotPath.empty()) {
        pumpPending();
        const bool ok = screenshot(shotPath);
        DestroyWindow(host.window);
        pumpPending();
        if (!ok) fail((L"cannot write " + shotPath).c_str());
        return ok ? 0 : 1;
    }

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
