// The two value editors of "Edit value": an in-place EDIT field laid over the selected value in
// the active view, and the modal "Edit value" window for values with line breaks or when the
// value is not on screen. Each lives for one EditValueText call and runs its own message loop,
// so the host's other windows keep receiving their messages meanwhile.
#include <windows.h>
#include <commctrl.h>
#include <dwmapi.h>
#include <uxtheme.h>

#include <string>

#include "document/language.h"
#include "edit/editing.h"
#include "edit/nodetext.h"
#include "shell/mainwindow.h"
#include "shell/module.h"
#include "shell/settings.h"

namespace qm {

namespace {

// Dialog geometry in DIPs.
constexpr int kDialogWidth = 560;
constexpr int kDialogMargin = 16;
constexpr int kButtonWidth = 96;
constexpr int kButtonHeight = 30;
constexpr int kLabelHeight = 20;
constexpr int kSingleLineFieldHeight = 30;
constexpr int kMultiLineFieldHeight = 220;
constexpr int kGap = 6;
constexpr int kButtonGap = 8;
constexpr DWORD kDwmUseImmersiveDarkMode = 20;
constexpr DWORD kDwmUseImmersiveDarkModeBefore20H1 = 19;

// ---- in-place editor ----

struct InPlaceEditor {
    WNDPROC previous = nullptr;
    bool done = false;
    bool accepted = false;
};

LRESULT CALLBACK InPlaceEditorProc(HWND field, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<InPlaceEditor*>(GetWindowLongPtrW(field, GWLP_USERDATA));
    if (!state) return DefWindowProcW(field, message, wParam, lParam);
    switch (message) {
        case WM_GETDLGCODE: return DLGC_WANTALLKEYS | DLGC_HASSETSEL;
        case WM_KEYDOWN:
            if (wParam == VK_RETURN || wParam == VK_ESCAPE) {
                state->done = true;
                state->accepted = wParam == VK_RETURN;
                return 0;
            }
            break;
        case WM_CHAR:
            if (wParam == L'\r' || wParam == 0x1B) return 0;  // no beep for the keys handled above
            break;
        case WM_KILLFOCUS:
            // Clicking elsewhere confirms the edit.
            state->done = true;
            state->accepted = true;
            break;
        default: break;
    }
    return CallWindowProcW(state->previous, field, message, wParam, lParam);
}

std::wstring windowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

// Runs the loop until `done`; a WM_QUIT ends it and is posted again for the host's own loop.
template <typename Step>
void runLoop(const bool& done, Step step) {
    MSG msg;
    while (!done) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (got == -1) return;
        if (!step(msg)) return;
    }
}

}  // namespace

bool AskInPlace(MainWindow& main, const RECT& r, const wchar_t* cue, std::wstring& value) {
    const Palette& pal = main.palette;
    main.editBrush.reset(CreateSolidBrush(pal.color(ColorSlot::background)));
    HWND field = CreateWindowExW(0, L"EDIT", value.c_str(), WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, r.left,
                                 r.top, r.right - r.left, r.bottom - r.top, main.ActiveViewWindow(), nullptr,
                                 moduleHandle, nullptr);
    if (!field) {
        main.editBrush.reset();
        return false;
    }
    const HFONT font = main.settings.activeView == kViewSource ? pal.monoFont.get() : pal.contentFont.get();
    SendMessageW(field, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (cue) SendMessageW(field, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(cue));
    InPlaceEditor state;
    SetWindowLongPtrW(field, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
    state.previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(field, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(InPlaceEditorProc)));
    SetFocus(field);
    SendMessageW(field, EM_SETSEL, 0, -1);
    runLoop(state.done, [](MSG& msg) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        return true;
    });
    bool changed = false;
    if (state.accepted) {
        std::wstring text = windowText(field);
        if (text != value) {
            value = std::move(text);
            changed = true;
        }
    }
    // The field's procedure goes back before it is destroyed, so the focus it loses on the way
    // reaches no state that is gone.
    SetWindowLongPtrW(field, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(state.previous));
    SetWindowLongPtrW(field, GWLP_USERDATA, 0);
    DestroyWindow(field);
    main.editBrush.reset();
    return changed;
}

namespace {

bool editInPlace(MainWindow& main, std::wstring& value) { return AskInPlace(main, main.editRect, nullptr, value); }

// ---- dialog ----

struct EditDialog {
    MainWindow* main = nullptr;
    HWND window = nullptr;
    HWND field = nullptr;
    HWND ok = nullptr;
    HWND cancel = nullptr;
    BrushHandle backgroundBrush;
    BrushHandle chromeBrush;
    std::wstring result;
    std::wstring caption;
    bool multiLine = false;
    bool accepted = false;
    bool done = false;
};

std::wstring withCarriageReturns(const std::wstring& value) {
    std::wstring out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == L'\n' && (i == 0 || value[i - 1] != L'\r')) out += L'\r';
        out += value[i];
    }
    return out;
}

// The value the field's text stands for. The field shows every line break as CR LF; a value
// whose line breaks all were CR LF keeps them so, any other loses the CR the field put before
// each line feed (a lone CR stays). Unchanged text gives back the value exactly.
std::wstring valueOfField(const std::wstring& text, const std::wstring& shown, const std::wstring& value) {
    if (text == shown) return value;
    const bool crLfValue = value.find(L"\r\n") != std::wstring::npos && withCarriageReturns(value) == value;
    if (crLfValue) return text;
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n')) out += text[i];
    return out;
}

HWND createChild(const EditDialog& dialog, DWORD exStyle, const wchar_t* cls, const wchar_t* text, DWORD style, int x,
                 int y, int w, int h, int id, HFONT font) {
    const Palette& pal = dialog.main->palette;
    HWND child = CreateWindowExW(exStyle, cls, text, style, pal.scale(x), pal.scale(y), pal.scale(w), pal.scale(h),
                                 dialog.window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 moduleHandle, nullptr);
    if (child) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return child;
}

bool editInDialog(MainWindow& main, std::wstring& value) {
    const Palette& pal = main.palette;
    EditDialog dialog;
    dialog.main = &main;
    dialog.caption = main.selected && main.document ? nodePath(main.selected, main.document->format) : std::wstring();
    const std::wstring fieldText = withCarriageReturns(value);
    dialog.multiLine = fieldText.find(L'\n') != std::wstring::npos;
    HWND owner = GetAncestor(main.window, GA_ROOT);

    const int fieldHeight = dialog.multiLine ? kMultiLineFieldHeight : kSingleLineFieldHeight;
    const int content = kGap + fieldHeight + 3 * kDialogMargin + kLabelHeight;
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    const DWORD exStyle = WS_EX_DLGMODALFRAME;
    RECT frame{0, 0, pal.scale(kDialogWidth), pal.scale(content + kButtonHeight)};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    RECT ownerRect{};
    GetWindowRect(owner, &ownerRect);
    const int x = (ownerRect.left + ownerRect.right - width) / 2;
    const int y = (ownerRect.top + ownerRect.bottom - height) / 2;

    dialog.backgroundBrush.reset(CreateSolidBrush(pal.color(ColorSlot::background)));
    dialog.chromeBrush.reset(CreateSolidBrush(pal.color(ColorSlot::chrome)));
    CreateWindowExW(exStyle, L"QuillmapEdit", tr(L"Edit value", L"Wert bearbeiten"), style, x, y, width, height, owner,
                    nullptr, moduleHandle, &dialog);
    if (!dialog.window) return false;

    const int inner = kDialogWidth - 2 * kDialogMargin;
    createChild(dialog, 0, L"STATIC", dialog.caption.c_str(), WS_CHILD | WS_VISIBLE | SS_PATHELLIPSIS, kDialogMargin,
                kDialogMargin, inner, kLabelHeight, 0, pal.uiFont.get());
    const DWORD fieldStyle = dialog.multiLine ? WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE |
                                                    ES_AUTOVSCROLL | ES_WANTRETURN
                                              : WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
    dialog.field = createChild(dialog, WS_EX_CLIENTEDGE, L"EDIT", fieldText.c_str(), fieldStyle, kDialogMargin,
                               kGap + kLabelHeight + kDialogMargin, inner, fieldHeight, 0, pal.contentFont.get());
    const int buttonTop = content - kDialogMargin;
    dialog.ok = createChild(dialog, 0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                            kDialogWidth - 2 * kButtonWidth - kDialogMargin - kButtonGap, buttonTop, kButtonWidth,
                            kButtonHeight, IDOK, pal.uiFont.get());
    dialog.cancel = createChild(dialog, 0, L"BUTTON", tr(L"Cancel", L"Abbrechen"), WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                                kDialogWidth - kButtonWidth - kDialogMargin, buttonTop, kButtonWidth, kButtonHeight,
                                IDCANCEL, pal.uiFont.get());
    if (pal.isDark) {
        SetWindowTheme(dialog.ok, L"DarkMode_Explorer", nullptr);
        SetWindowTheme(dialog.cancel, L"DarkMode_Explorer", nullptr);
        SetWindowTheme(dialog.field, L"DarkMode_CFD", nullptr);
    }
    const BOOL dark = pal.isDark ? TRUE : FALSE;
    if (FAILED(DwmSetWindowAttribute(dialog.window, kDwmUseImmersiveDarkMode, &dark, sizeof dark)))
        DwmSetWindowAttribute(dialog.window, kDwmUseImmersiveDarkModeBefore20H1, &dark, sizeof dark);

    EnableWindow(owner, FALSE);
    ShowWindow(dialog.window, SW_SHOW);
    SetFocus(dialog.field);
    SendMessageW(dialog.field, EM_SETSEL, 0, -1);
    runLoop(dialog.done, [&dialog](MSG& msg) {
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
            dialog.done = true;
            dialog.accepted = false;
            return false;
        }
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && msg.hwnd == dialog.field &&
            (!dialog.multiLine || GetKeyState(VK_CONTROL) < 0)) {
            SendMessageW(dialog.window, WM_COMMAND, IDOK, 0);
            return !dialog.done;
        }
        if (!IsDialogMessageW(dialog.window, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        return true;
    });
    EnableWindow(owner, TRUE);
    DestroyWindow(dialog.window);
    SetActiveWindow(owner);
    if (!dialog.accepted) return false;
    value = valueOfField(dialog.result, fieldText, value);
    return true;
}

}  // namespace

bool (*valueEditorOverride)(MainWindow& main, std::wstring& value) = nullptr;

bool EditValueText(MainWindow& main, std::wstring& value) {
    if (valueEditorOverride) return valueEditorOverride(main, value);
    if (main.editRectValid && value.find(L'\n') == std::wstring::npos) return editInPlace(main, value);
    return editInDialog(main, value);
}

static LRESULT editDialogMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* dialog = static_cast<EditDialog*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        if (dialog) dialog->window = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(dialog));
        return DefWindowProcW(window, message, wParam, lParam);
    }
    auto* dialog = reinterpret_cast<EditDialog*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!dialog) return DefWindowProcW(window, message, wParam, lParam);
    const Palette& pal = dialog->main->palette;
    switch (message) {
        case WM_CLOSE: dialog->done = true; return 0;
        case WM_ERASEBKGND: {
            RECT client{};
            GetClientRect(window, &client);
            FillRect(reinterpret_cast<HDC>(wParam), &client, dialog->chromeBrush);
            return 1;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                dialog->result = windowText(dialog->field);
                dialog->accepted = true;
                dialog->done = true;
                return 0;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                dialog->done = true;
                return 0;
            }
            break;
        case WM_CTLCOLOREDIT: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, pal.color(ColorSlot::text));
            SetBkColor(dc, pal.color(ColorSlot::background));
            return reinterpret_cast<LRESULT>(dialog->backgroundBrush.get());
        }
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, pal.color(ColorSlot::dimText));
            SetBkColor(dc, pal.color(ColorSlot::chrome));
            return reinterpret_cast<LRESULT>(dialog->chromeBrush.get());
        }
        default: break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK EditDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return editDialogMessage(window, message, wParam, lParam);
    } catch (...) {
        // Nothing may reach the host (taking the typed text can run out of memory).
        return 0;
    }
}

LRESULT InPlaceEditorColours(MainWindow& main, HDC dc) {
    if (!main.editBrush) return 0;
    SetTextColor(dc, main.palette.color(ColorSlot::text));
    SetBkColor(dc, main.palette.color(ColorSlot::background));
    return reinterpret_cast<LRESULT>(main.editBrush.get());
}

}  // namespace qm
