// Drives Corvella.exe's main window from outside for the end-to-end tests under Wine (run-e2e.sh):
// one command per run, what it reads on standard output (UTF-8), exit status 0 when the command
// did what it says, 1 when not, 2 for a wrong command line. Only messages that Windows (and Wine)
// carry between processes are used: window texts, button clicks, item counts, posted commands and
// keys. The results list draws its rows itself, so what it shows is read from the status line, the
// item count and screenshots.
#include <windows.h>
// These system headers build on <windows.h>.
#include <commctrl.h>
#include <shellapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "resource.h"

namespace {

constexpr wchar_t kInstanceMarker[] = L"Halvorin-1.1";
constexpr DWORD kSendTimeoutMs = 10000;  // a window that takes longer counts as hung

void Print(const std::wstring& text) {
    std::string bytes(text.size() * 3 + 1, '\0');
    bytes.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), bytes.data(),
                                     int(bytes.size()), nullptr, nullptr));
    std::printf("%s\n", bytes.c_str());
    std::fflush(stdout);
}

int Fail(const std::wstring& text) {
    Print(text);
    return 1;
}
int Check(bool done, const wchar_t* otherwise) {
    return done ? 0 : Fail(otherwise);
}

std::wstring Numbers(std::initializer_list<LONG> numbers) {
    std::wstring line;
    for (LONG n : numbers) line += (line.empty() ? L"" : L" ") + std::to_wstring(n);
    return line;
}

double NowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// Polls `done` every `interval_ms` until it holds or `seconds` have passed.
template <typename Done>
bool WaitFor(double seconds, Done done, DWORD interval_ms = 100) {
    for (const double deadline = NowMs() + seconds * 1000.0;; Sleep(interval_ms)) {
        if (done()) return true;
        if (NowMs() > deadline) return false;
    }
}

// The first top-level window (or child of `parent`, at any depth) that `match` accepts.
// Enumeration callbacks are CALLBACK (stdcall on x86), which a lambda cannot be.
using Match = std::function<bool(HWND)>;
BOOL CALLBACK Visit(HWND window, LPARAM match) {
    return !(*reinterpret_cast<const Match*>(match))(window);
}
HWND FindWhere(const Match& match, HWND parent = nullptr) {
    HWND found = nullptr;
    const Match keep = [&](HWND window) { return match(window) && (found = window); };
    parent ? EnumChildWindows(parent, Visit, LPARAM(&keep)) : EnumWindows(Visit, LPARAM(&keep));
    return found;
}

bool Send(HWND window, UINT message, WPARAM wparam, LPARAM lparam, DWORD_PTR* result = nullptr) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(window, message, wparam, lparam, SMTO_NORMAL, kSendTimeoutMs,
                               result ? result : &ignored) != 0;
}

std::wstring TextOf(HWND window) {
    wchar_t text[4096] = {};
    DWORD_PTR copied = 0;
    return Send(window, WM_GETTEXT, 4096, LPARAM(text), &copied) ? std::wstring(text, copied) : L"";
}

bool Marked(HWND window) {
    return GetPropW(window, kInstanceMarker) == reinterpret_cast<HANDLE>(1);
}
HWND MainWindow() {
    return FindWhere(Marked);
}

// Whether a tool tip of `owner` shows. A tool tip is a top-level window, owned by the top-level
// window of the control that made it.
bool TipShown(HWND owner) {
    for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, TOOLTIPS_CLASSW, nullptr));)
        if (GetWindow(w, GW_OWNER) == owner && IsWindowVisible(w)) return true;
    return false;
}

// A dialog: a visible "#32770" window with its title that is not the main window (a message box
// of the program is one titled "Corvella"). The title is compared without a message, which a busy
// program would answer late.
HWND FindDialog(const std::wstring& title) {
    for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, L"#32770", title.c_str()));)
        if (!Marked(w) && IsWindowVisible(w)) return w;
    return nullptr;
}

// A page of the main window's tab control: the one it shows (`control` 0) or the one that holds
// `control`.
HWND TabPage(int control) {
    const HWND tabs = GetDlgItem(MainWindow(), IDC_TABSHEET);
    for (HWND page = nullptr; tabs && (page = FindWindowExW(tabs, page, L"#32770", nullptr));)
        if (control ? GetDlgItem(page, control) != nullptr : IsWindowVisible(page)) return page;
    return nullptr;
}

// A dialog by its title, the main window for "main", or the shown tab page for "page".
HWND DialogOrPage(const std::wstring& title) {
    return title == L"main" ? MainWindow() : title == L"page" ? TabPage(0) : FindDialog(title);
}

// Sends `window` of another process a message whose lParam points at `size` bytes of `data`.
// Windows does not carry such pointers between processes: the bytes are written into the
// window's process first, and read back into `data` after (the answer may be there).
bool SendThroughRemote(HWND window, UINT message, WPARAM wparam, void* data, SIZE_T size,
                       DWORD_PTR& answer) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    const HANDLE process =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process) return false;
    bool sent = false;
    if (void* remote = VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE)) {
        sent = WriteProcessMemory(process, remote, data, size, nullptr) &&
               Send(window, message, wparam, LPARAM(remote), &answer) &&
               ReadProcessMemory(process, remote, data, size, nullptr);
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return sent;
}

// Sets a combo box's text and tells the main window that the user edited it.
bool EditCombo(HWND main, int id, const std::wstring& text) {
    const HWND combo = GetDlgItem(main, id);
    return combo && Send(combo, WM_SETTEXT, 0, LPARAM(text.c_str())) &&
           Send(main, WM_COMMAND, MAKEWPARAM(id, CBN_EDITCHANGE), LPARAM(combo));
}

// A key pressed and released on a control; a combo box's keys go to its edit field.
bool PostKey(HWND control, UINT key) {
    HWND edit = FindWindowExW(control, nullptr, L"Edit", nullptr);
    if (!edit) edit = control;
    const UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
    return PostMessageW(edit, WM_KEYDOWN, key, 1 | (scan << 16)) &&
           PostMessageW(edit, WM_KEYUP, key, 1 | (scan << 16) | (3u << 30));
}

// What a control shows or does, as the user would see or do it: ACTION on control ID of the
// dialog TITLE (see DialogOrPage), with ARGUMENT where the action takes one.
int OnControl(const std::wstring& action, const std::wstring& title, int id,
              const std::vector<std::wstring>& more) {
    const HWND dialog = DialogOrPage(title);
    const HWND control = dialog ? GetDlgItem(dialog, id) : nullptr;
    if (!control) return Fail(L"no such dialog or control");
    const auto number = [&](size_t i) {
        return WPARAM(i < more.size() ? _wtoi(more[i].c_str()) : -1);
    };
    DWORD_PTR answer = 0;
    if (action == L"get-text") return Print(TextOf(control)), 0;
    if (action == L"set-text")  // the dialog hears of it as of typing
        return Check(!more.empty() && Send(control, WM_SETTEXT, 0, LPARAM(more[0].c_str())),
                     L"the text was not set");
    if (action == L"click")  // posted: it may open a message box
        return Check(PostMessageW(control, BM_CLICK, 0, 0), L"not clicked");
    if (action == L"choose" || action == L"pick") {  // entry N of a drop-down list or list box
        const bool combo = action == L"choose";
        return Check(
            Send(control, combo ? CB_SETCURSEL : LB_SETCURSEL, number(0), 0, &answer) &&
                (combo ? answer == number(0) : LRESULT(answer) != LB_ERR) &&
                Send(dialog, WM_COMMAND, MAKEWPARAM(id, combo ? CBN_SELCHANGE : LBN_SELCHANGE),
                     LPARAM(control)),
            L"no such entry");
    }
    if (action == L"set-date") {  // YEAR MONTH DAY; the dialog reads the picker when it needs it
        SYSTEMTIME day{};
        day.wYear = WORD(number(0));
        day.wMonth = WORD(number(1));
        day.wDay = WORD(number(2));
        return Check(
            SendThroughRemote(control, DTM_SETSYSTEMTIME, GDT_VALID, &day, sizeof day, answer) &&
                answer,
            L"the date was not set");
    }
    return Check(!more.empty() && PostKey(control, UINT(number(0))), L"no key");  // key
}

// Prints the outer size, the window's place and whether it has a taskbar button ("app": shown,
// and not a tool window; else "tool").
int Layout(HWND main) {
    RECT outer{};
    GetWindowRect(main, &outer);
    const LONG_PTR style = GetWindowLongPtrW(main, GWL_EXSTYLE);
    Print(Numbers({outer.right - outer.left, outer.bottom - outer.top, outer.left, outer.top}) +
          ((style & WS_EX_APPWINDOW) && !(style & WS_EX_TOOLWINDOW) ? L" app" : L" tool"));
    return 0;
}

// Whether the notification area holds the icon of `main`: only an icon that is there can be
// changed, and this change (the same tip) leaves it as it was.
bool InTray(HWND main) {
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = main;
    icon.uFlags = NIF_TIP;
    wcscpy(icon.szTip, L"Corvella");
    return Shell_NotifyIconW(NIM_MODIFY, &icon) != FALSE;
}

// Windows asks whether the session may end, then says that it ends; the program does its exit
// work meanwhile, waiting for its threads.
int EndSession(HWND main) {
    DWORD_PTR may_end = 0;
    if (!Send(main, WM_QUERYENDSESSION, 0, 0, &may_end) || !may_end)
        return Fail(L"the session may not end");
    return Check(SendMessageTimeoutW(main, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 60000, nullptr),
                 L"the end of the session was not handled in time");
}

// A key pressed and released through the system's input, as from the keyboard.
void Press(std::initializer_list<WORD> keys) {
    std::vector<INPUT> inputs;
    for (WORD key : keys) inputs.push_back(INPUT{INPUT_KEYBOARD, {.ki = {key, 0, 0, 0, 0}}});
    for (auto key = keys.end(); key != keys.begin();)
        inputs.push_back(INPUT{INPUT_KEYBOARD, {.ki = {*--key, 0, KEYEVENTF_KEYUP, 0, 0}}});
    SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT));
}

// A visible top-level window whose title begins with `title` (wizards add to it page by page)
// and one of whose windows, at any depth, shows `text`.
HWND FindPage(const std::wstring& title, const std::wstring& text) {
    return FindWhere([&](HWND top) {
        return IsWindowVisible(top) && TextOf(top).rfind(title, 0) == 0 &&
               FindWhere([&](HWND child) { return TextOf(child).find(text) != std::wstring::npos; },
                         top);
    });
}

// Sets the selection of the results list to exactly the rows given by index (none when none is
// given); the item structure is written into the program's memory.
bool SelectRows(HWND list, const std::vector<std::wstring>& rows) {
    const auto set = [&](int row, UINT state) {
        LVITEMW item{};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = state;
        DWORD_PTR answer = 0;
        return SendThroughRemote(list, LVM_SETITEMSTATE, WPARAM(row), &item, sizeof item, answer);
    };
    bool done = set(-1, 0);
    for (const std::wstring& row : rows)
        done = done && set(_wtoi(row.c_str()), LVIS_SELECTED | LVIS_FOCUSED);
    return done;
}

std::vector<std::wstring> DropPaths(HDROP drop) {
    std::vector<std::wstring> paths(DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0));
    for (UINT i = 0; i < paths.size(); ++i) {
        wchar_t path[MAX_PATH] = {};
        DragQueryFileW(drop, i, path, MAX_PATH);
        paths[i] = path;
    }
    return paths;
}

// The clipboard's text, on one line with its line ends shown as \r and \n; or the files of its
// drop list, one a line.
int PrintClipboard(bool files) {
    if (!OpenClipboard(nullptr)) return Fail(L"the clipboard cannot be opened");
    std::wstring text;
    bool found = false;
    if (const HANDLE data = GetClipboardData(files ? CF_HDROP : CF_UNICODETEXT); data && files) {
        for (const std::wstring& path : DropPaths(static_cast<HDROP>(data)))
            text += (text.empty() ? L"" : L"\n") + path;
        found = !text.empty();
    } else if (const auto* chars = data ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr) {
        found = true;
        for (const wchar_t* c = chars; *c; ++c)
            text += *c == L'\r' ? L"\\r" : *c == L'\n' ? L"\\n" : std::wstring(1, *c);
        GlobalUnlock(data);
    }
    CloseClipboard();
    if (!found) return Fail(L"nothing of that kind on the clipboard");
    Print(text);
    return 0;
}

// A running process of this executable name: its working folder and command line, read from its
// own parameters block, printed as "FOLDER | COMMAND LINE". The process is then ended.
using QueryProcess = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);

std::wstring ReadRemoteText(HANDLE process, const UNICODE_STRING& text) {
    std::wstring out(text.Length / sizeof(wchar_t), L'\0');
    if (!ReadProcessMemory(process, text.Buffer, out.data(), text.Length, nullptr)) return L"?";
    return out;
}

int ProcessStart(const std::wstring& name, double seconds) {
    const auto query = reinterpret_cast<QueryProcess>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    DWORD pid = 0;
    const bool seen = WaitFor(seconds, [&] {
        const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32FirstW(snapshot, &entry); more && !pid;
             more = Process32NextW(snapshot, &entry))
            if (_wcsicmp(entry.szExeFile, name.c_str()) == 0) pid = entry.th32ProcessID;
        CloseHandle(snapshot);
        return pid != 0;
    });
    if (!seen || !query) return Fail(L"no such process");
    const HANDLE process =
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE, FALSE, pid);
    if (!process) return Fail(L"the process cannot be opened");
    PROCESS_BASIC_INFORMATION basic{};
    PEB peb{};
    RTL_USER_PROCESS_PARAMETERS parameters{};
    std::wstring line = L"?";
    // The block's start has settled once the process runs its first window or console.
    Sleep(1000);
    if (query(process, 0, &basic, sizeof basic, nullptr) == 0 &&
        ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof peb, nullptr) &&
        ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof parameters,
                          nullptr)) {
        // The current folder follows the standard handles in the block's reserved part.
        const auto& folder = *reinterpret_cast<const UNICODE_STRING*>(&parameters.Reserved2[5]);
        line = ReadRemoteText(process, folder) + L" | " +
               ReadRemoteText(process, parameters.CommandLine);
    }
    TerminateProcess(process, 0);
    CloseHandle(process);
    Print(line);
    return 0;
}

// Each quick button as "LABEL shown|hidden", in the bar's order, then "more shown|hidden" for the
// overflow button; with "points", each line followed by the button's centre on the screen. With
// N or "more", quick button N or the overflow button is clicked.
int QuickBar(const std::vector<std::wstring>& args) {
    const HWND page = TabPage(2001);
    if (!page) return Fail(L"no quick-button page");
    std::vector<HWND> buttons;
    for (HWND b = nullptr; (b = FindWindowExW(page, b, L"Button", nullptr));)
        if (GetDlgCtrlID(b) == 2000) buttons.push_back(b);
    const HWND more = GetDlgItem(page, 2001);
    const bool points = !args.empty() && args[0] == L"points";
    const auto line = [&](HWND b, const std::wstring& name) {
        RECT r{};
        GetWindowRect(b, &r);
        return name + (IsWindowVisible(b) ? L" shown" : L" hidden") +
               (points ? L" " + Numbers({(r.left + r.right) / 2, (r.top + r.bottom) / 2}) : L"");
    };
    if (!args.empty() && !points) {
        const size_t n = size_t(_wtoi(args[0].c_str()));
        const HWND target = args[0] == L"more" ? more : n < buttons.size() ? buttons[n] : nullptr;
        return Check(target && PostMessageW(target, BM_CLICK, 0, 0), L"no such button");
    }
    for (HWND b : buttons) Print(line(b, TextOf(b)));
    Print(line(more, L"more"));
    return 0;
}

int Usage() {
    Print(L"usage: driver COMMAND [ARGUMENTS], the commands as wmain below reads them");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return Usage();
    const std::wstring command = argv[1];
    const std::vector<std::wstring> args(argv + 2, argv + argc);
    const auto need = [&](size_t n) { return args.size() >= n; };
    const auto number = [&](size_t i) { return i < args.size() ? _wtof(args[i].c_str()) : -1.0; };
    const auto id = [&](size_t i) { return WPARAM(wcstoul(args[i].c_str(), nullptr, 0)); };
    const auto post_click = [](HWND dialog, int button) {
        // As the button itself reports a click; BM_CLICK needs the window to be active.
        return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                            LPARAM(GetDlgItem(dialog, button)));
    };

    if (command == L"dialog" && need(2)) {
        // TITLE SECONDS [BUTTON [ID]]: prints each static text with its control id (-1: none),
        // then presses BUTTON, posts command ID to the main window at once (while a build still
        // runs) and waits for the dialog to close. An icon's static holds the icon's resource
        // number as its text: not a text.
        HWND dialog = nullptr;
        if (!WaitFor(number(1), [&] { return (dialog = FindDialog(args[0])) != nullptr; }))
            return Fail(L"no such dialog");
        for (HWND child = nullptr; (child = FindWindowExW(dialog, child, L"Static", nullptr));)
            if (const std::wstring text = TextOf(child);
                !text.empty() && (GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
                Print(std::to_wstring(GetDlgCtrlID(child)) + L" " + text);
        if (!need(3)) return 0;
        post_click(dialog, int(id(2)));
        if (need(4)) PostMessageW(MainWindow(), WM_COMMAND, id(3), 0);
        return Check(WaitFor(5, [&] { return !IsWindow(dialog); }), L"the dialog stays open");
    }
    // A wizard page of another program, titled TITLE... and showing TEXT, within SECONDS (30 when
    // not given); its button ID is then clicked, unless ID is 0.
    if (command == L"page" && need(3)) {
        HWND page = nullptr;
        if (!WaitFor(need(4) ? number(3) : 30, [&] { return (page = FindPage(args[0], args[1])); }))
            return Fail(L"no such page");
        if (args[2] != L"0") post_click(page, int(id(2)));
        return 0;
    }
    if (command == L"wait-status" && need(2)) {
        // Polled often, so that the passing texts of a build are seen too. The window may still
        // be coming: a build that starts with the program is watched from its first text on.
        const std::wregex expected(args[0]);
        std::wstring text = L"\n";  // no status line has it
        const auto seen = [&] {
            const HWND main = MainWindow();
            if (!main) return false;
            const std::wstring now = TextOf(GetDlgItem(main, IDC_STATUS));
            if (now != text) Print(text = now);
            return std::regex_match(text, expected);
        };
        const bool matched = WaitFor(number(1), seen, 20);
        // A command, or the end of the session, that must reach the window while the matched
        // state lasts, such as a build.
        if (matched && need(3) && args[2] == L"end-session") return EndSession(MainWindow());
        if (matched && need(3)) PostMessageW(MainWindow(), WM_COMMAND, id(2), 0);
        return Check(matched, L"no status line matched");
    }
    if (command == L"notepad" && need(1)) {
        // Waits for Notepad, prints its title and closes it.
        HWND notepad = nullptr;
        if (!WaitFor(number(0),
                     [&] { return IsWindowVisible(notepad = FindWindowW(L"Notepad", nullptr)); }))
            return Fail(L"no Notepad window");
        Print(TextOf(notepad));
        return !PostMessageW(notepad, WM_CLOSE, 0, 0);
    }
    if (command == L"hot-key") {
        Press({VK_SHIFT, VK_ESCAPE});
        return 0;
    }
    for (const wchar_t* action :
         {L"set-text", L"get-text", L"click", L"choose", L"pick", L"set-date"})
        if (command == action && need(2))
            return OnControl(command, args[0], int(id(1)), {args.begin() + 2, args.end()});
    // KEY, to the pattern box or to control ID of the dialog TITLE.
    if (command == L"key" && need(1))
        return OnControl(command, need(3) ? args[1] : L"main", need(3) ? int(id(2)) : IDC_PATTERN,
                         {args[0]});
    if (command == L"clipboard" && need(1)) return PrintClipboard(args[0] == L"files");
    if (command == L"process" && need(2)) return ProcessStart(args[0], number(1));

    // States of the window awaited: CONDITION yes|no [SECONDS, 30 when not given]. "window" is
    // the main window's existence, which the others take as given.
    const HWND main = MainWindow();
    const std::pair<const wchar_t*, std::function<bool()>> conditions[] = {
        {L"window", [] { return MainWindow() != nullptr; }},
        {L"visible", [&] { return IsWindowVisible(main) && !IsIconic(main); }},
        {L"popup", [] { return IsWindowVisible(FindWindowW(L"#32768", nullptr)) != FALSE; }},
        {L"tip", [&] { return TipShown(main); }},
        {L"tray-icon", [&] { return InTray(main); }}};
    for (const auto& [name, holds] : conditions)
        if (command == name && need(1) && (main || command == L"window"))
            return Check(
                WaitFor(need(2) ? number(1) : 30, [&] { return holds() == (args[0] == L"yes"); }),
                (command + L" is not " + args[0]).c_str());
    if (!main) return Fail(L"no main window");
    if (command == L"quick") return QuickBar(args);
    if (command == L"select")
        return Check(SelectRows(GetDlgItem(main, IDC_RESULTS), args),
                     L"the rows cannot be selected");
    if ((command == L"type" || command == L"search") && need(1)) {
        if (!EditCombo(main, IDC_PATTERN, args[0])) return Fail(L"the pattern box does not answer");
        return command == L"search" && !Send(GetDlgItem(main, IDC_SEARCH), BM_CLICK, 0, 0);
    }
    if (command == L"location" && need(1)) return !EditCombo(main, IDC_LOCATION, args[0]);
    if (command == L"entries" && need(1)) {
        // The box's edit text, then its drop-down list, one line each.
        const HWND combo = GetDlgItem(main, int(id(0)));
        DWORD_PTR count = 0;
        if (!combo || !Send(combo, CB_GETCOUNT, 0, 0, &count)) return Fail(L"no such box");
        Print(TextOf(combo));
        for (WPARAM i = 0; i < count; ++i) {
            DWORD_PTR length = 0;
            if (!Send(combo, CB_GETLBTEXTLEN, i, 0, &length) || LRESULT(length) == CB_ERR)
                return Fail(L"the box lost an entry");
            std::wstring entry(length + 1, L'\0');
            Send(combo, CB_GETLBTEXT, i, LPARAM(entry.data()), &length);
            Print(entry.substr(0, length));
        }
        return 0;
    }
    if (command == L"tab" && need(1)) {
        // Tab INDEX of the tab sheet made current, as a click on it does.
        DWORD_PTR shown = 0;
        const HWND tabs = GetDlgItem(main, IDC_TABSHEET);
        return Check(Send(tabs, TCM_SETCURFOCUS, id(0), 0) &&
                         Send(tabs, TCM_GETCURSEL, 0, 0, &shown) && shown == id(0),
                     L"no such tab");
    }
    if (command == L"count") {
        DWORD_PTR count = 0;
        if (!Send(GetDlgItem(main, IDC_RESULTS), LVM_GETITEMCOUNT, 0, 0, &count))
            return Fail(L"the results list does not answer");
        Print(std::to_wstring(count));
        return 0;
    }
    // Posted messages, with their argument as the wParam; "command" waits for its handling.
    for (const auto& [name, message] : {std::pair{L"menu", WM_COMMAND},
                                        {L"syscommand", WM_SYSCOMMAND},
                                        {L"close", WM_CLOSE},
                                        {L"endmenu", WM_CANCELMODE}})
        if (command == name) return !PostMessageW(main, message, need(1) ? id(0) : 0, 0);
    if (command == L"command" && need(1))
        return Check(Send(main, WM_COMMAND, id(0), 0), L"the command was not handled in time");
    // Mouse messages of the tray icon, in one go: a double click comes within its time.
    if (command == L"tray-click" && need(1)) {
        for (size_t i = 0; i < args.size(); ++i)
            if (!PostMessageW(main, WM_APP + 6, 0, id(i))) return Fail(L"not posted");
        return 0;
    }
    // The shell restarted: the tray lost its icons and tells the programs so.
    if (command == L"shell-restart") {
        NOTIFYICONDATAW icon{};
        icon.cbSize = sizeof icon;
        icon.hWnd = main;
        if (!Shell_NotifyIconW(NIM_DELETE, &icon) || InTray(main))
            return Fail(L"the icon was not there to lose");
        return !Send(main, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    }
    if (command == L"move" && need(2))
        return !SetWindowPos(main, nullptr, int(number(0)), int(number(1)), 0, 0,
                             SWP_NOSIZE | SWP_NOZORDER);
    if (command == L"layout") return Layout(main);
    if (command == L"point" && need(1)) {
        // The first row's, which starts below the column header and is two lines high.
        const HWND list = GetDlgItem(main, IDC_RESULTS);
        RECT list_rect{}, header_rect{};
        GetWindowRect(list, &list_rect);
        const HWND header = FindWindowExW(list, nullptr, WC_HEADERW, nullptr);
        if (header && IsWindowVisible(header)) GetWindowRect(header, &header_rect);
        Print(Numbers({list_rect.left + 80, std::max(header_rect.bottom, list_rect.top) + 12}));
        return 0;
    }
    return Usage();
}
