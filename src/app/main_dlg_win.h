// The main window: the search and location boxes, the results list and the status line, the
// main menu, and every long-lived worker of the program (the cache builder, the watchers, the
// query engine and its search thread).
//
// Worker threads reach the window only by posting work to it (ui::Post); the window never waits
// for a search or a build, except in the exit sequence, which asks both to stop first.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "app/error_box.h"
#include "app/info_boxes_win.h"
#include "app/main_window_layout.h"
#include "app/owned_thread_win.h"
#include "app/search_history.h"
#include "app/tray_icon_win.h"
#include "cache/cacher.h"
#include "platform/keeper_lock.h"
#include "quickbuttons/toolbar_page_win.h"
#include "resource.h"
#include "results/list_ctrl_ex_win.h"
#include "results/shell_context_menu_win.h"
#include "search/criteria_pages_win.h"
#include "search/criteria_store.h"
#include "search/option_page_win.h"
#include "search/queryer.h"
#include "search/search_runner.h"
#include "search/tab_sheet_win.h"
#include "serve/keeper_pipe_server_win.h"
#include "ui/dialog.h"
#include "ui/gdi.h"
#include "ui/menu.h"
#include "watch/watcher_table.h"

namespace corvella {

// The data folder, the two settings files in it and the cache file, set once at start-up before
// any worker thread starts.
struct AppPaths {
    std::u16string data_folder;
    std::u16string settings;  // settings.ini
    std::u16string state;     // stateinfo.ini
    std::u16string cache;     // as the settings name it
};

class CMainDlg final : public ui::Dialog, public SearchView, public StatusSink {
  public:
    CMainDlg();
    ~CMainDlg() override;

  protected:
    bool OnInitDialog() override;
    void OnOK() override {}  // Enter never closes the window; it searches (PreTranslateMessage)
    void OnCancel() override;
    bool OnCommand(int id, int code, HWND control) override;
    std::optional<LRESULT> OnNotify(int id, NMHDR* header) override;
    bool OnSize(UINT type, int width, int height) override;
    bool OnSysCommand(UINT command, LPARAM lparam) override;
    bool OnPaint() override;
    bool OnTimer(UINT_PTR id) override;
    std::optional<LRESULT> OnMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
    bool PreTranslateMessage(MSG& message) override;

  private:
    // Start-up (main_dlg_win.cpp).
    bool CheckDataFolder();
    void StartCache();

    // Window and commands (main_dlg_win.cpp).
    void OnExit();
    void ExitSequence();
    void OnToggleOption(UINT main_id, UINT tray_id, const char16_t* key, bool& member,
                        const wchar_t* question);
    void OnHelpContent();
    void OnBrowseLocation();
    void SetStatus(const std::u16string& text);
    bool Ask(const wchar_t* question) const;
    MainWindowControls ControlRects() const;

    // The tray, the hot key, Start With Windows and the end of the session (main_dlg_tray_win.cpp).
    void ApplyStartupRegistry();
    void StartHidden();
    void ShowMainWindow();
    void OnOpenMainWindow();
    void OnTrayNotify(WPARAM icon, LPARAM mouse);
    void ShowTrayMenu();
    void OnToggleStartWithWindows();
    void OnEndSession(bool ending);
    void ShutdownCleanup();
    void CheckStartWithWindows(bool on);

    // The cache (main_dlg_cache_win.cpp).
    void OnUpdateSearchCache();
    void CachingThreadProc();  // on caching_thread_
    std::optional<std::u16string> AskForCacheFile(bool save) const;
    void OnSaveCacheFileAs();
    void OnLoadCacheFile();
    void OnDefragCacheFile();
    void OnToggleWatchkeeper();
    void EnableCacheCommands(bool enable);
    void EndBuildAtExit();
    void SetStatusText(std::u16string_view text) override;  // the builder's progress

    // Searching (main_dlg_search_win.cpp).
    void SearchFromBoxes();
    std::u16string PatternText() const;
    std::u16string LocationText() const;
    void SearchStarted() override;
    void SearchFinished(const SearchReport& report) override;

    // The quick buttons (main_dlg_quick_win.cpp).
    void OnRunQuickButton(WPARAM index);
    void OnCustomizeToolbar();

    // The commands on the rows of the results list (main_dlg_actions_win.cpp).
    bool OnListCommand(int id);
    void OnListRightClick(POINT at);
    void OnListBeginDrag();
    std::optional<LRESULT> OnListMenuMessage(UINT message, WPARAM wparam, LPARAM lparam);
    void OnSearchInFolder(bool this_folder);
    void OnDeleteRows();
    bool OnListKey(const MSG& message);

    // The search histories (main_dlg_history_win.cpp).
    void LoadHistories();
    void AddHistories(const std::u16string& pattern, const std::u16string& location);
    void OnCleanSearchHistory();
    void OnCleanLocationHistory();

    AppPaths paths_;
    ui::Icon big_icon_, small_icon_;
    ui::LoadedMenu tray_menu_;
    TrayIcon tray_icon_;
    HotKey hot_key_;
    WINDOWPLACEMENT saved_placement_{};  // centred at start-up; the window comes back there
    // What the criteria pages set and every search pass reads.
    CriteriaStore criteria_;
    CTabSheet tabs_;
    CToolbarPage quick_page_;
    CSizeDatePage size_date_page_{criteria_};
    CAdvancedPage advanced_page_{criteria_};
    CListCtrlEx list_;
    ErrorBoxSink errors_;
    CWelcomeDlg welcome_;  // on a first run, until its OK
    // The shell's menu for the rows under the right-click menu, and that menu's "Explorer
    // Action" submenu while it is up; filled when first opened.
    ShellContextMenu shell_menu_;
    HMENU explorer_popup_ = nullptr;
    bool explorer_filled_ = false;
    bool shell_menu_failed_ = false;
    SearchHistory patterns_{HistoryKind::Patterns, 0};
    SearchHistory locations_{HistoryKind::Locations, 0};

    std::unique_ptr<CQueryer> queryer_;  // from OnInitDialog on, as the cacher
    // The index once the cache is ready, the walk of queryer_ until then and whenever the
    // index is behind the file.
    std::unique_ptr<IndexedEngine> engine_;
    std::unique_ptr<QueryerSearch> query_;
    std::unique_ptr<SearchRunner> runner_;

    std::unique_ptr<CCacher> cacher_;
    std::atomic<bool> build_running_{false};  // from a request until its build has ended
    // A watcher found the cache file damaged and a build was started for it; on the window's
    // thread only. Once per run, as the command-line keeper.
    bool cache_healed_ = false;
    std::atomic<bool> cache_ready_{false};
    std::atomic<bool> exiting_{false};
    // Taken when it is free, so that a command-line keeper refuses to run beside Watchkeeper;
    // the program itself keeps its one-instance rule and starts either way. Declared before
    // the watchers, so it is let go after they stop.
    platform::KeeperLock keeper_lock_;
    std::unique_ptr<CWatcherTable> watchers_;
    // After everything the build touches, so that it is joined before they go.
    OwnedThread caching_thread_;
    // Answers corvella-cli.exe's searches from StartCache on; stopped first at the exit, and
    // declared last, so that it is gone before anything its answers touch.
    std::unique_ptr<KeeperPipeServer> pipe_server_;

    Rect initial_window_, last_window_;
    bool initialised_ = false;
    bool message_dialogs_ = true;
    bool check_integrity_ = true;
    bool minimize_to_tray_ = false;
    bool session_ended_ = false;  // the session's end has done the exit's work
};

}  // namespace corvella
