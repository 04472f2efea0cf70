// The main window: start-up, layout, system commands, menu commands, options and the exit.
#include "app/main_dlg_win.h"

#include <shellapi.h>
#include <shlobj.h>

#include "app/browse_for_folder_win.h"
#include "app/data_folder.h"
#include "cache/cache_shared.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/text_win.h"
#include "resource.h"
#include "results/result_actions_win.h"
#include "results/save_results_dlg_win.h"
#include "ui/controls.h"
#include "ui/post.h"

namespace corvella {

namespace {

constexpr wchar_t kInstanceMarker[] = L"Halvorin-1.1";

Rect ToRect(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}
RECT ToRECT(const Rect& r) {
    return {r.left, r.top, r.right, r.bottom};
}

}  // namespace

CMainDlg::CMainDlg() : ui::Dialog(IDD_MAIN) {}

CMainDlg::~CMainDlg() {
    EndBuildAtExit();  // also when the window ends without the exit sequence
}

bool CMainDlg::OnInitDialog() {
    SetPropW(hwnd_, kInstanceMarker, reinterpret_cast<HANDLE>(1));

    // The about item of the system menu.
    wchar_t about[64] = {};
    if (LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, about, 64) > 0) {
        const ui::Menu system = ui::SystemMenuOf(hwnd_);
        system.AppendSeparator();
        AppendMenuW(system.get(), MF_STRING, IDM_ABOUTBOX, about);
    }

    const HINSTANCE instance = GetModuleHandleW(nullptr);
    big_icon_ = ui::Icon(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_PROGRAM),
                                                       IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                                       GetSystemMetrics(SM_CYICON), 0)));
    small_icon_ = ui::Icon(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_PROGRAM),
                                                         IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                         GetSystemMetrics(SM_CYSMICON), 0)));
    SendMsg(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon_.get()));
    SendMsg(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_.get()));

    if (!CheckDataFolder()) return false;
    paths_.settings = paths_.data_folder + u"\\settings.ini";
    paths_.state = paths_.data_folder + u"\\stateinfo.ini";

    // Geometry for the resize rules. The tray menu is loaded now, since the options keep their
    // check marks in both menus.
    initial_window_ = last_window_ = ToRect(WindowRect());
    tray_icon_.Add(hwnd_, small_icon_.get());
    tray_menu_.Load(IDR_TRAYMENU);

    quick_page_.set_settings(paths_.settings);
    tabs_.SubclassItem(hwnd_, IDC_TABSHEET);
    tabs_.AddPage(L"Quick Buttons", quick_page_);
    tabs_.AddPage(L"Size and Date", size_date_page_);
    tabs_.AddPage(L"Advanced", advanced_page_);
    tabs_.CreatePages();

    list_.SubclassItem(hwnd_, IDC_RESULTS);
    list_.Init(paths_.data_folder);
    list_.SetViewMenu(ui::MenuBarOf(hwnd_).SubMenu(2).get());
    ui::ListView(list_.hwnd()).InsertColumn(0, L"Search Results", 0);
    list_.FitColumnToWidth();

    paths_.cache = CachePathFromSettings(paths_.data_folder, paths_.settings);
    queryer_ = std::make_unique<CQueryer>(errors_, paths_.cache);
    cacher_ = std::make_unique<CCacher>(errors_, paths_.cache);
    ApplyStartupRegistry();
    StartCache();

    ui::Menu(tray_menu_.menu().get()).Check(ID_TRAY_WATCHKEEPER, true);
    ui::MenuBarOf(hwnd_).Check(ID_OPTIONS_WATCHKEEPER, true);

    // Centred once; the window comes back to this placement whenever it is shown again.
    minimize_to_tray_ = false;
    const RECT window = WindowRect();
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    SetWindowPos(hwnd_, nullptr,
                 work.left + (work.right - work.left - (window.right - window.left)) / 2,
                 work.top + (work.bottom - work.top - (window.bottom - window.top)) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    saved_placement_.length = sizeof saved_placement_;
    GetWindowPlacement(hwnd_, &saved_placement_);

    // "/hide" alone, in any letter case; every other command line is ignored.
    int argc = 0;
    if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc)) {
        if (argc == 2 && _wcsicmp(argv[1], L"/hide") == 0) StartHidden();
        LocalFree(argv);
    }

    session_ended_ = false;
    initialised_ = true;
    hot_key_.Register(hwnd_);
    SetProcessWorkingSetSize(GetCurrentProcess(), static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));
    return true;
}

bool CMainDlg::CheckDataFolder() {
    paths_.data_folder = platform::DataFolder();
    // The current folder is the program's own: its shipped settings are beside it.
    if (ProvideDataFolder(paths_.data_folder, platform::AbsolutePath(u"settings.ini")) !=
        DataFolderOutcome::Failed)
        return true;
    wchar_t text[1024];
    swprintf(text, 1024,
             L"Can not find the application data directory \"%ls\" for Corvella, Please reinstall "
             L"this program.",
             platform::ToWide(paths_.data_folder).c_str());
    MessageBoxW(hwnd_, text, L"Corvella", MB_ICONEXCLAMATION | MB_OK);
    Show(SW_HIDE);
    End(IDOK);
    return false;
}

MainWindowControls CMainDlg::ControlRects() const {
    const auto at = [&](int id) { return ToRect(Item(id).RectInParent()); };
    MainWindowControls c;
    c.status_line = at(IDC_STATUS);
    c.results_list = at(IDC_RESULTS);
    c.tab = at(IDC_TABSHEET);
    // The pages in the tab control's client coordinates: only their width changes.
    c.quick_page = ToRect(quick_page_.RectInParent());
    c.criteria_page = ToRect(size_date_page_.RectInParent());
    c.advanced_page = ToRect(advanced_page_.RectInParent());
    c.pattern_box = at(IDC_PATTERN);
    c.location_box = at(IDC_LOCATION);
    c.browse_button = at(IDC_BROWSE);
    c.search_button = at(IDC_SEARCH);
    return c;
}

bool CMainDlg::OnSize(UINT type, int width, int height) {
    Default(WM_SIZE, type, MAKELPARAM(width, height));
    if (!initialised_ || type == SIZE_MINIMIZED) return true;
    const Rect snapped =
        SnapToMinimumSize(ToRect(WindowRect()), initial_window_.width(), initial_window_.height());
    SetWindowPos(hwnd_, nullptr, 0, 0, snapped.width(), snapped.height(),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    const Rect outer = ToRect(WindowRect());
    const RECT client = ClientRect();
    const MainWindowControls to =
        ResizeControls(ControlRects(), outer, last_window_, client.bottom - client.top);
    const auto place = [&](int id, const Rect& rect) {
        Item(id).Move(ToRECT(rect));
        Item(id).Invalidate();
    };
    place(IDC_STATUS, to.status_line);
    place(IDC_RESULTS, to.results_list);
    place(IDC_TABSHEET, to.tab);
    const std::pair<OptionPage*, Rect> pages[] = {{&quick_page_, to.quick_page},
                                                  {&size_date_page_, to.criteria_page},
                                                  {&advanced_page_, to.advanced_page}};
    for (const auto& [page, rect] : pages) {
        if (page->is_open()) page->Move(ToRECT(rect));
    }
    quick_page_.LayoutButtons();
    place(IDC_PATTERN, to.pattern_box);
    place(IDC_LOCATION, to.location_box);
    place(IDC_BROWSE, to.browse_button);
    place(IDC_SEARCH, to.search_button);
    last_window_ = outer;
    return true;
}

bool CMainDlg::OnSysCommand(UINT command, LPARAM lparam) {
    if ((command & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg().DoModal(hwnd_);
        return true;
    }
    if (command == SC_MINIMIZE) {
        Default(WM_SYSCOMMAND, command, lparam);
        if (minimize_to_tray_) {
            Show(SW_HIDE);
            minimize_to_tray_ = false;
        }
        return true;
    }
    if (command == SC_CLOSE) {
        // Closing sends the program to the tray; only Exit ends it.
        minimize_to_tray_ = true;
        PostMsg(WM_SYSCOMMAND, SC_MINIMIZE);
        return true;
    }
    return false;
}

bool CMainDlg::OnPaint() {
    if (!IsIconic(hwnd_)) return false;
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(hwnd_, &paint);
    SendMsg(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const RECT client = ClientRect();
    const int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
    DrawIcon(dc, (client.right - cx + 1) / 2, (client.bottom - cy + 1) / 2, big_icon_.get());
    EndPaint(hwnd_, &paint);
    return true;
}

std::optional<LRESULT> CMainDlg::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    // Sent to every top-level window when the shell (and its notification area) has restarted.
    static const UINT taskbar_created = RegisterWindowMessageW(L"TaskbarCreated");
    if (std::optional<LRESULT> answer = OnListMenuMessage(message, wparam, lparam)) return answer;
    switch (message) {
        case WM_QUERYDRAGICON:
            return reinterpret_cast<LRESULT>(big_icon_.get());
        case kTrayMessage:
            OnTrayNotify(wparam, lparam);
            return 0;
        case kRunQuickButton:
            OnRunQuickButton(wparam);
            return 0;
        case WM_HOTKEY:
            ShowMainWindow();
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            OnEndSession(wparam != FALSE);
            return 0;
    }
    if (message == taskbar_created) {
        tray_icon_.Restore();
        return 0;
    }
    return ui::Dialog::OnMessage(message, wparam, lparam);
}

bool CMainDlg::OnCommand(int id, int code, HWND control) {
    switch (id) {
        case IDC_SEARCH:
            if (code == BN_CLICKED) SearchFromBoxes();
            return true;
        case IDC_BROWSE:
            if (code == BN_CLICKED) OnBrowseLocation();
            return true;
        case IDC_PATTERN:
            if (code == CBN_EDITCHANGE) {
                if (runner_) runner_->EditChanged(PatternText(), LocationText());
            } else if (code == CBN_SELCHANGE) {
                const ui::ComboBox box(control);
                const int picked = box.Selection();
                if (picked >= 0 && runner_) {
                    const std::wstring text = box.ItemText(picked);
                    runner_->StartSearch(platform::FromWide(text.data(), text.size()),
                                         LocationText());
                }
            }
            return true;
        case IDC_LOCATION:
            if (code == CBN_EDITCHANGE && runner_) runner_->SetLocation(LocationText());
            return true;
        case IDC_NO_ACTION:
            return true;
        case ID_LIST_SEARCH_SAME_FOLDER:
        case ID_LIST_SEARCH_THIS_FOLDER:
        case ID_LIST_OPEN:
        case ID_LIST_BROWSE_FILE:
        case ID_LIST_BROWSE_FOLDER:
        case ID_LIST_COMMAND_PROMPT:
        case ID_LIST_COPY_FILE_PATH:
        case ID_LIST_COPY_FOLDER_PATH:
        case ID_LIST_COPY:
        case ID_LIST_DELETE:
            return OnListCommand(id);
        case ID_FILE_EXIT:
        case ID_TRAY_EXIT:
            OnExit();
            return true;
        case ID_FILE_SAVE_RESULTS:
            OnSaveResultsAs(hwnd_, list_);
            return true;
        case ID_FILE_SAVE_CACHE:
            OnSaveCacheFileAs();
            return true;
        case ID_FILE_LOAD_CACHE:
            OnLoadCacheFile();
            return true;
        case ID_TRAY_OPEN:
            OnOpenMainWindow();
            return true;
        case ID_OPTIONS_START_WITH_WINDOWS:
        case ID_TRAY_START_WITH_WINDOWS:
            OnToggleStartWithWindows();
            return true;
        case ID_TOOLS_CUSTOMIZE_TOOLBAR:
            OnCustomizeToolbar();
            return true;
        case ID_TOOLS_UPDATE_CACHE:
        case ID_TRAY_UPDATE_CACHE:
            OnUpdateSearchCache();
            return true;
        case ID_TOOLS_CLEAN_SEARCH_HISTORY:
            OnCleanSearchHistory();
            return true;
        case ID_TOOLS_CLEAN_LOCATION_HISTORY:
            OnCleanLocationHistory();
            return true;
        case ID_TOOLS_DEFRAG_CACHE:
            OnDefragCacheFile();
            return true;
        case ID_OPTIONS_WATCHKEEPER:
        case ID_TRAY_WATCHKEEPER:
            OnToggleWatchkeeper();
            return true;
        case ID_OPTIONS_CHECK_INTEGRITY:
        case ID_TRAY_CHECK_INTEGRITY:
            OnToggleOption(ID_OPTIONS_CHECK_INTEGRITY, ID_TRAY_CHECK_INTEGRITY, u"CHECK_INTEGRITY",
                           check_integrity_,
                           L"If you disable this option, the cache integrity will not be checked "
                           L"by Corvella any more.\r\n\r\nDisable this option?");
            return true;
        case ID_OPTIONS_MESSAGE_DIALOGS:
        case ID_TRAY_MESSAGE_DIALOGS:
            OnToggleOption(ID_OPTIONS_MESSAGE_DIALOGS, ID_TRAY_MESSAGE_DIALOGS, u"ENABLE_DIALOGS",
                           message_dialogs_,
                           L"If you disable this option, most warning messages will not be "
                           L"showed by Corvella any more.\r\n\r\nDisable this option?");
            return true;
        case ID_HELP_CONTENT:
            OnHelpContent();
            return true;
        case ID_HELP_ABOUT:
            CMyAboutDlg().DoModal(hwnd_);
            return true;
        case ID_EDIT_SELECT_ALL:
            list_.SelectAll();
            return true;
        case ID_VIEW_REFRESH:
            list_.Invalidate(true);
            return true;
        case ID_ARRANGE_NAME:
        case ID_ARRANGE_LOCATION:
        case ID_ARRANGE_SIZE:
        case ID_ARRANGE_TYPE:
        case ID_ARRANGE_DATE: {
            const SortKey key = id == ID_ARRANGE_NAME       ? SortKey::Name
                                : id == ID_ARRANGE_LOCATION ? SortKey::Location
                                : id == ID_ARRANGE_SIZE     ? SortKey::Size
                                : id == ID_ARRANGE_TYPE     ? SortKey::Type
                                                            : SortKey::Date;
            list_.SortRows(key);
            return true;
        }
    }
    return false;
}

std::optional<LRESULT> CMainDlg::OnNotify(int id, NMHDR* header) {
    if (id != IDC_RESULTS) return std::nullopt;
    switch (header->code) {
        case LVN_GETINFOTIPW:
            return 0;
        case NM_DBLCLK:
            OpenRows(ReadSelectedRows(list_));
            return 0;
        case LVN_BEGINDRAG:
            OnListBeginDrag();
            return 0;
        case NM_RCLICK: {
            POINT at;
            GetCursorPos(&at);
            OnListRightClick(at);
            return 0;
        }
    }
    return std::nullopt;
}

bool CMainDlg::Ask(const wchar_t* question) const {
    return MessageBoxW(hwnd_, question, L"Corvella", MB_YESNO | MB_ICONEXCLAMATION) == IDYES;
}

void CMainDlg::OnToggleOption(UINT main_id, UINT tray_id, const char16_t* key, bool& member,
                              const wchar_t* question) {
    const ui::Menu bar = ui::MenuBarOf(hwnd_), tray(tray_menu_.menu().get());
    const bool on = bar.IsChecked(main_id) && tray.IsChecked(tray_id);
    if (on) {
        if (!Ask(question)) return;
        bar.Check(main_id, false);
        tray.Check(tray_id, false);
        platform::WriteIniString(paths_.settings, u"OPTIONS", key, std::u16string_view(u"0"));
        member = false;
    } else {
        bar.Check(main_id, true);
        tray.Check(tray_id, true);
        platform::WriteIniString(paths_.settings, u"OPTIONS", key, std::u16string_view(u"1"));
        member = true;
    }
}

void CMainDlg::OnHelpContent() {
    ShellExecuteW(hwnd_, L"open", L".\\help.html", nullptr, nullptr, SW_SHOWNORMAL);
}

void CMainDlg::OnBrowseLocation() {
    const std::wstring chosen = BrowseForFolder(L"Select Folder");
    Item(IDC_LOCATION).SetText(chosen.empty() ? L"My Computer" : chosen.c_str());
    if (runner_) runner_->SetLocation(LocationText());
}

void CMainDlg::SetStatus(const std::u16string& text) {
    Item(IDC_STATUS).SetText(platform::ToWide(text));
}

void CMainDlg::OnExit() {
    if (message_dialogs_ &&
        !Ask(L"If you exit Corvella, the file changes will not be detected by Watchkeeper any "
             L"more and the search results may become inaccurate.\r\n\r\nExit Corvella?"))
        return;
    ExitSequence();
}

void CMainDlg::OnCancel() {
    // WM_CLOSE from another program ends up here: the whole exit, without a question.
    ExitSequence();
}

void CMainDlg::ExitSequence() {
    // After the end of the session only the dialog is left to end. The hot key goes first, so
    // that it cannot bring back a window on its way out while a search is waited for.
    if (!session_ended_) {
        hot_key_.Unregister();
        ShutdownCleanup();
    }
    End(IDCANCEL);
}

}  // namespace corvella
