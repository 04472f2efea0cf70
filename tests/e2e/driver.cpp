// Drives Corvella.exe's main window from outside, as the end-to-end tests under Wine need it:
// one command per run, what it reads on standard output (UTF-8), exit status 0 when the command
// did what it says and 1 when not (2 for a wrong command line).
//
// Only messages that Windows (and Wine) carry between processes are used: window texts, button
// clicks, item counts, posted commands and keys. The results list draws its rows itself, so
// what it shows is read from the status line, the item count and screenshots.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <regex>
#include <string>
#include <vector>

#include "resource.h"

namespace {

constexpr wchar_t kInstanceMarker[] = L"Halvorin-1.1";
constexpr DWORD kSendTimeoutMs = 10000;  // a window that takes longer counts as hung

void Print(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    bytes += '\n';
    fwrite(bytes.data(), 1, bytes.size(), stdout);
    fflush(stdout);
}

int Fail(const std::wstring& text) {
    Print(text);
    return 1;
}

double NowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Polls `done` every `interval_ms` until it holds or `seconds` have passed.
template <typename Done>
bool WaitFor(double seconds, Done done, DWORD interval_ms = 100) {
    const double deadline = NowMs() + seconds * 1000.0;
    for (;;) {
        if (done()) return true;
        if (NowMs() > deadline) return false;
        Sleep(interval_ms);
    }
}

BOOL CALLBACK FindMarked(HWND window, LPARAM found) {
    if (GetPropW(window, kInstanceMarker) == reinterpret_cast<HANDLE>(1)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

HWND MainWindow() {
    HWND found = nullptr;
    EnumWindows(FindMarked, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::wstring TextOf(HWND window) {
    wchar_t text[4096] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_NORMAL,
                             kSendTimeoutMs, &copied))
        return {};
    return std::wstring(text, copied);
}

bool SetText(HWND window, const std::wstring& text) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                               SMTO_NORMAL, kSendTimeoutMs, &result) != 0;
}

bool Send(HWND window, UINT message, WPARAM wparam, LPARAM lparam, DWORD_PTR* result = nullptr) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(window, message, wparam, lparam, SMTO_NORMAL, kSendTimeoutMs,
                               result ? result : &ignored) != 0;
}

// The edit field inside a drop-down combo box.
HWND EditOf(HWND combo) {
    return FindWindowExW(combo, nullptr, L"Edit", nullptr);
}

// Sets a combo box's text and tells the main window that the user edited it.
bool EditCombo(HWND main, int id, const std::wstring& text) {
    const HWND combo = GetDlgItem(main, id);
    return combo && SetText(combo, text) &&
           Send(main, WM_COMMAND, MAKEWPARAM(id, CBN_EDITCHANGE), reinterpret_cast<LPARAM>(combo));
}

bool PostKey(HWND window, UINT key) {
    const UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
    return PostMessageW(window, WM_KEYDOWN, key, 1 | (scan << 16)) &&
           PostMessageW(window, WM_KEYUP, key, 1 | (scan << 16) | (3u << 30));
}

RECT ClientRectOf(HWND main, HWND control) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(HWND_DESKTOP, main, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// A message box of the program: a dialog titled "Corvella" that is not the main window.
BOOL CALLBACK FindBox(HWND window, LPARAM found) {
    wchar_t class_name[64] = {}, title[64] = {};
    GetClassNameW(window, class_name, 64);
    GetWindowTextW(window, title, 64);
    if (wcscmp(class_name, L"#32770") == 0 && wcscmp(title, L"Corvella") == 0 &&
        GetPropW(window, kInstanceMarker) == nullptr && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

HWND MessageBoxWindow() {
    HWND found = nullptr;
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&found));
    return found;
}

// The texts of a dialog's static controls, one after the other.
std::wstring StaticTexts(HWND box) {
    std::wstring texts;
    for (HWND child = FindWindowExW(box, nullptr, L"Static", nullptr); child;
         child = FindWindowExW(box, child, L"Static", nullptr)) {
        const std::wstring text = TextOf(child);
        if (text.empty()) continue;
        if (!texts.empty()) texts += L" | ";
        texts += text;
    }
    return texts;
}

int Usage() {
    Print(L"usage: driver COMMAND [ARGUMENTS]\n"
          L"  wait-window SECONDS         the main window exists\n"
          L"  type TEXT                   pattern text, as if typed\n"
          L"  search TEXT                 pattern text, then a click on Search\n"
          L"  enter TEXT                  pattern text, then Enter in its box\n"
          L"  key VK [location]           a key pressed and released in the pattern box (or the\n"
          L"                              location box)\n"
          L"  location TEXT               location text, as if typed\n"
          L"  status | count              the status line; the results list's item count\n"
          L"  wait-status REGEX SECONDS [ID]  the whole status line matches REGEX; prints each\n"
          L"                              text it saw on the way; then posts WM_COMMAND ID\n"
          L"  menu ID | close | endmenu   WM_COMMAND ID; WM_CLOSE; WM_CANCELMODE (posted)\n"
          L"  command ID                  WM_COMMAND ID, returning once it was handled\n"
          L"  syscommand SC [LPARAM]      WM_SYSCOMMAND (posted)\n"
          L"  ping MS [SECONDS]           WM_NULL answered within MS, repeatedly for SECONDS\n"
          L"  visible                     prints visible, minimized or hidden\n"
          L"  wait-visible yes|no SECONDS the window is (not) visible\n"
          L"  resize W H                  outer size, then prints the size it took\n"
          L"  layout                      the window and client sizes, the controls' client rectangles\n"
          L"  row-point                   screen point in the middle of the first row\n"
          L"  box SECONDS [BUTTON]        a message box of the program: its text; then BUTTON");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return Usage();
    const std::wstring command = argv[1];
    const std::vector<std::wstring> args(argv + 2, argv + argc);
    const auto number = [&](size_t i) { return i < args.size() ? _wtof(args[i].c_str()) : -1.0; };
    const auto need = [&](size_t n) { return args.size() >= n; };

    if (command == L"wait-window" && need(1)) {
        HWND main = nullptr;
        if (!WaitFor(number(0), [&] { return (main = MainWindow()) != nullptr; }))
            return Fail(L"no main window");
        Print(L"main window found");
        return 0;
    }
    if (command == L"box" && need(1)) {
        HWND box = nullptr;
        if (!WaitFor(number(0), [&] { return (box = MessageBoxWindow()) != nullptr; }))
            return Fail(L"no message box");
        Print(StaticTexts(box));
        if (need(2)) {
            const int button = _wtoi(args[1].c_str());
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
        }
        return 0;
    }

    if (command == L"wait-status" && need(2)) {
        // Polled often, so that the passing texts of a build are seen too; each is printed once.
        // The window may still be coming: a build that starts with the program is watched from
        // its first text on.
        const std::wregex expected(args[0]);
        std::wstring text;
        bool first = true;
        const bool matched = WaitFor(
            number(1),
            [&] {
                const HWND main = MainWindow();
                if (!main) return false;
                const std::wstring now = TextOf(GetDlgItem(main, IDC_STATUS));
                if (first || now != text) Print(now);
                first = false;
                text = now;
                return std::regex_match(text, expected);
            },
            20);
        if (!matched) return Fail(L"no status line matched");
        // A command that must reach the window while the matched state lasts, such as a build.
        if (need(3)) PostMessageW(MainWindow(), WM_COMMAND, MAKEWPARAM(_wtoi(args[2].c_str()), 0), 0);
        return 0;
    }

    const HWND main = MainWindow();
    if (!main) return Fail(L"no main window");

    if ((command == L"type" || command == L"search" || command == L"enter") && need(1)) {
        if (!EditCombo(main, IDC_PATTERN, args[0])) return Fail(L"the pattern box does not answer");
        if (command == L"search" && !Send(GetDlgItem(main, IDC_SEARCH), BM_CLICK, 0, 0))
            return Fail(L"the Search button does not answer");
        if (command == L"enter" && !PostKey(EditOf(GetDlgItem(main, IDC_PATTERN)), VK_RETURN))
            return Fail(L"no edit field in the pattern box");
        return 0;
    }
    if (command == L"key" && need(1)) {
        const int box = need(2) && args[1] == L"location" ? IDC_LOCATION : IDC_PATTERN;
        return PostKey(EditOf(GetDlgItem(main, box)), static_cast<UINT>(number(0))) ? 0 : 1;
    }
    if (command == L"location" && need(1)) {
        return EditCombo(main, IDC_LOCATION, args[0]) ? 0 : Fail(L"the location box does not answer");
    }
    if (command == L"status") {
        Print(TextOf(GetDlgItem(main, IDC_STATUS)));
        return 0;
    }
    if (command == L"count") {
        DWORD_PTR count = 0;
        if (!Send(GetDlgItem(main, IDC_RESULTS), LVM_GETITEMCOUNT, 0, 0, &count))
            return Fail(L"the results list does not answer");
        Print(std::to_wstring(count));
        return 0;
    }
    if (command == L"menu" && need(1)) {
        return PostMessageW(main, WM_COMMAND, MAKEWPARAM(static_cast<int>(number(0)), 0), 0) ? 0 : 1;
    }
    if (command == L"command" && need(1)) {
        return Send(main, WM_COMMAND, MAKEWPARAM(static_cast<int>(number(0)), 0), 0)
                   ? 0
                   : Fail(L"the command was not handled in time");
    }
    if (command == L"syscommand" && need(1)) {
        const WPARAM sc = wcstoul(args[0].c_str(), nullptr, 0);
        const LPARAM lparam = need(2) ? static_cast<LPARAM>(wcstol(args[1].c_str(), nullptr, 0)) : 0;
        return PostMessageW(main, WM_SYSCOMMAND, sc, lparam) ? 0 : 1;
    }
    if (command == L"close") return PostMessageW(main, WM_CLOSE, 0, 0) ? 0 : 1;
    if (command == L"endmenu") return PostMessageW(main, WM_CANCELMODE, 0, 0) ? 0 : 1;
    if (command == L"ping" && need(1)) {
        const DWORD limit = static_cast<DWORD>(number(0));
        const double until = NowMs() + (need(2) ? number(1) : 0.0) * 1000.0;
        double slowest = 0;
        int answers = 0;
        do {
            const double sent = NowMs();
            DWORD_PTR result = 0;
            // Twice the limit, so that a late answer is measured rather than cut off.
            const bool answered =
                SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 2 * limit, &result) != 0;
            const double took = NowMs() - sent;
            if (!answered) return Fail(L"no answer within " + std::to_wstring(2 * limit) + L" ms");
            slowest = took > slowest ? took : slowest;
            ++answers;
            Sleep(20);
        } while (NowMs() < until);
        wchar_t line[128];
        swprintf(line, 128, L"%d answers, the slowest in %.1f ms", answers, slowest);
        Print(line);
        return slowest <= limit ? 0 : 1;
    }
    if (command == L"visible") {
        Print(!IsWindowVisible(main) ? L"hidden" : IsIconic(main) ? L"minimized" : L"visible");
        return 0;
    }
    if (command == L"wait-visible" && need(2)) {
        const bool want = args[0] == L"yes";
        if (!WaitFor(number(1), [&] { return (IsWindowVisible(main) && !IsIconic(main)) == want; }))
            return Fail(want ? L"not visible" : L"still visible");
        return 0;
    }
    if (command == L"resize" && need(2)) {
        SetWindowPos(main, nullptr, 0, 0, static_cast<int>(number(0)), static_cast<int>(number(1)),
                     SWP_NOMOVE | SWP_NOZORDER);
        RECT outer{};
        GetWindowRect(main, &outer);
        Print(std::to_wstring(outer.right - outer.left) + L" " +
              std::to_wstring(outer.bottom - outer.top));
        return 0;
    }
    if (command == L"layout") {
        RECT outer{}, client{};
        GetWindowRect(main, &outer);
        GetClientRect(main, &client);
        Print(L"window " + std::to_wstring(outer.right - outer.left) + L" " +
              std::to_wstring(outer.bottom - outer.top));
        Print(L"client " + std::to_wstring(client.right) + L" " + std::to_wstring(client.bottom));
        for (int id : {IDC_TABSHEET, IDC_PATTERN, IDC_LOCATION, IDC_BROWSE, IDC_SEARCH, IDC_RESULTS,
                       IDC_STATUS}) {
            const RECT r = ClientRectOf(main, GetDlgItem(main, id));
            Print(std::to_wstring(id) + L" " + std::to_wstring(r.left) + L" " +
                  std::to_wstring(r.top) + L" " + std::to_wstring(r.right) + L" " +
                  std::to_wstring(r.bottom));
        }
        return 0;
    }
    if (command == L"row-point") {
        // The first row starts below the column header and is two lines high.
        const HWND list = GetDlgItem(main, IDC_RESULTS);
        RECT list_rect{}, header_rect{};
        GetWindowRect(list, &list_rect);
        const HWND header = FindWindowExW(list, nullptr, WC_HEADERW, nullptr);
        if (header && IsWindowVisible(header)) GetWindowRect(header, &header_rect);
        const int top = header_rect.bottom > list_rect.top ? header_rect.bottom : list_rect.top;
        Print(std::to_wstring(list_rect.left + 80) + L" " + std::to_wstring(top + 12));
        return 0;
    }
    return Usage();
}
