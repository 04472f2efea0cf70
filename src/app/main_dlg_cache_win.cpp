// The main window's side of the cache: the start-up decision, the caching thread, saving,
// loading and defragmenting the cache file, Watchkeeper, and the answers to the command line.
#include <windows.h>
// These system headers build on <windows.h>.
#include <commdlg.h>

#include "app/main_dlg_win.h"
#include "cache/defragmenter.h"
#include "cache/startup_decision.h"
#include "cache/startup_sequence.h"
#include "cache/state_file.h"
#include "platform/drives.h"
#include "platform/local_pipe_win.h"
#include "platform/text_win.h"
#include "resource.h"
#include "serve/search_answer.h"
#include "ui/post.h"
#include "ui/wait_cursor.h"

namespace corvella {

void CMainDlg::StartCache() {
    keeper_lock_.Acquire(paths_.cache);
    const StartupInputs inputs = ReadStartupInputs(paths_.cache, paths_.state, paths_.settings);
    const StartupDecision decision = DecideStartup(inputs);
    cache_ready_ = inputs.state_exists;

    WatcherOptions options;
    options.errors = &errors_;
    options.cache_path = paths_.cache;
    // A file cut short or replaced takes no change again: it is built anew, once.
    options.on_applied = [this](const std::u16string&, ApplyResult result) {
        if (result != ApplyResult::Damaged) return;
        ui::Post(hwnd_, [this] {
            if (cache_healed_ || build_running_) return;
            cache_healed_ = true;
            OnUpdateSearchCache();
        });
    };
    watchers_ = std::make_unique<CWatcherTable>(options);

    // Searches may start from here on: the runner's idle signal is set.
    queryer_->SetWalkThreads(CQueryer::MachineThreads());
    engine_ = std::make_unique<IndexedEngine>(errors_, paths_.cache, *queryer_,
                                              platform::kPathSeparator, CQueryer::MachineThreads());
    query_ = std::make_unique<QueryerSearch>(*engine_, [this] { return criteria_.Snapshot(); });
    runner_ = std::make_unique<SearchRunner>(*query_, list_.model(), *this, cache_ready_, [] {
        SetProcessWorkingSetSize(GetCurrentProcess(), static_cast<SIZE_T>(-1),
                                 static_cast<SIZE_T>(-1));
    });
    Item(IDC_LOCATION).SetText(L"My Computer");
    LoadHistories();

    check_integrity_ = OptionOn(inputs.check_integrity);
    message_dialogs_ = OptionOn(inputs.enable_dialogs);
    const ui::Menu bar = ui::MenuBarOf(hwnd_), tray(tray_menu_.menu().get());
    bar.Check(ID_OPTIONS_CHECK_INTEGRITY, check_integrity_);
    tray.Check(ID_TRAY_CHECK_INTEGRITY, check_integrity_);
    bar.Check(ID_OPTIONS_MESSAGE_DIALOGS, message_dialogs_);
    tray.Check(ID_TRAY_MESSAGE_DIALOGS, message_dialogs_);

    StartupSteps steps;
    steps.start_watchers = [this](bool watch_only) {
        if (watch_only)
            watchers_->StartWatchersWatchOnly();
        else
            watchers_->StartWatchers();
    };
    steps.build = [this](StartupAction) { OnUpdateSearchCache(); };
    steps.confirm_rebuild = [this] {
        return Ask(
            L"Program terminated abnormally last time, Watchkeeper may be "
            L"interfered.\r\n\r\nWould you like to update cache now?(not a must)");
    };
    steps.defragment = [this] { OnDefragCacheFile(); };
    StateFile state(paths_.state);
    const bool build_started = CarryOutStartup(decision, state, steps);
    // A new user is greeted beside the window, which stays usable. Once the window shows, so
    // that the box opens above it rather than behind.
    if (decision.first_run)
        ui::Post(hwnd_, [this] {
            if (welcome_.Create(hwnd_)) welcome_.Show(SW_SHOW);
        });
    // A build started here says so itself when it ends, and starts the index.
    if (!build_started) {
        cache_ready_ = true;
        engine_->RefreshInBackground();
    }

    // Without the pipe (its name taken, say) the command line walks the file itself.
    pipe_server_ = std::make_unique<KeeperPipeServer>(
        [this](const serve::Bytes& body) { return AnswerRequestBody(body, paths_.cache, *engine_); });
    pipe_server_->Start(platform::KeeperPipeName(paths_.cache));
}

void CMainDlg::OnUpdateSearchCache() {
    // Requests come on the window's thread only, and the build clears the flag as its last
    // step, so the flag alone tells a second request from the first.
    if (build_running_.exchange(true)) {
        ShowErrorBox(u"It is already running!");
        return;
    }
    if (!caching_thread_.Start([this] { CachingThreadProc(); }, THREAD_PRIORITY_ABOVE_NORMAL))
        build_running_ = false;
}

void CMainDlg::CachingThreadProc() {
    ui::Post(hwnd_, [this] { EnableCacheCommands(false); });
    const std::vector<std::u16string> roots = platform::FixedDriveRoots();
    StateFile state(paths_.state);
    state.SetUpdateCacheExit(false);
    cacher_->SetStatusWindow(this);
    watchers_->PauseWatchers();
    cacher_->BuildCache(roots);
    watchers_->ResumeWatchers();
    ui::Post(hwnd_, [this] { EnableCacheCommands(true); });
    // A build stopped by the exit stays unfinished, so the next start builds again.
    if (!exiting_) {
        state.SetUpdateCacheExit(true);
        engine_->RefreshInBackground();
        if (!cache_ready_.exchange(true))
            ui::Post(hwnd_, [this] { list_.ShowMessageRow(ListMode::CacheReady); });
    }
    build_running_ = false;
}

void CMainDlg::EnableCacheCommands(bool enable) {
    ui::MenuBarOf(hwnd_).Enable(ID_OPTIONS_WATCHKEEPER, enable);
    ui::MenuBarOf(hwnd_).Enable(ID_TOOLS_DEFRAG_CACHE, enable);
    ui::Menu(tray_menu_.menu().get()).Enable(ID_TRAY_WATCHKEEPER, enable);
    DrawMenuBar(hwnd_);
}

void CMainDlg::SetStatusText(std::u16string_view text) {
    // On the caching thread: the status line is the window's, so the text is posted to it.
    ui::Post(hwnd_, [this, copy = std::u16string(text)] { SetStatus(copy); });
}

void CMainDlg::EndBuildAtExit() {
    // A build stops at its next folder and is waited for, never cut off: a thread killed while
    // it holds the heap's lock or CacheFileLock would hang the rest of the exit. The cache file
    // stays whole either way, since every copy of it replaces the old one at once.
    if (cacher_) cacher_->RequestStop();
    caching_thread_.Join();
}

// The common file dialog for a cache file: "*.db" to start with, the current folder left alone.
// Nothing when it is cancelled.
std::optional<std::u16string> CMainDlg::AskForCacheFile(bool save) const {
    wchar_t chosen[MAX_PATH] = L"*.db";
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = hwnd_;
    dialog.lpstrFile = chosen;
    dialog.nMaxFile = MAX_PATH;
    dialog.Flags = OFN_NOCHANGEDIR | (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    if (!(save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog))) return std::nullopt;
    return std::u16string(chosen, chosen + wcslen(chosen));
}

void CMainDlg::OnSaveCacheFileAs() {
    const std::optional<std::u16string> target = AskForCacheFile(/*save=*/true);
    if (!target) return;
    ui::WaitCursor wait;
    const std::u16string& cache = paths_.cache;
    watchers_->PauseWatchers();
    if (!CopyFileW(platform::ToWide(cache).c_str(), platform::ToWide(*target).c_str(), FALSE))
        ShowErrorBox(u"Can not save file as " + *target);
    watchers_->ResumeWatchers();
}

void CMainDlg::OnLoadCacheFile() {
    ui::WaitCursor wait;
    const std::optional<std::u16string> chosen = AskForCacheFile(/*save=*/false);
    if (!chosen) return;
    const std::u16string& cache = paths_.cache;
    const std::u16string failed = u"Can not load file " + *chosen;
    watchers_->PauseWatchers();
    if (!MoveFileExW(platform::ToWide(cache).c_str(), platform::ToWide(cache + u".bak").c_str(),
                     MOVEFILE_REPLACE_EXISTING)) {
        ShowErrorBox(failed);
    } else if (!CopyFileW(platform::ToWide(*chosen).c_str(), platform::ToWide(cache).c_str(),
                          FALSE)) {
        ShowErrorBox(failed);  // the old cache stays in the .bak file
    }
    watchers_->ResumeWatchers();
}

void CMainDlg::OnDefragCacheFile() {
    ui::WaitCursor wait;
    watchers_->PauseWatchers();
    CCacheDefragmenter defragmenter(errors_, paths_.cache);
    defragmenter.Defragment();
    watchers_->ResumeWatchers();
}

void CMainDlg::OnToggleWatchkeeper() {
    const ui::Menu bar = ui::MenuBarOf(hwnd_), tray(tray_menu_.menu().get());
    if (bar.IsChecked(ID_OPTIONS_WATCHKEEPER) && tray.IsChecked(ID_TRAY_WATCHKEEPER)) {
        if (message_dialogs_ &&
            !Ask(L"If you stop Watchkeeper, the file changes will not be detected any more and "
                 L"the search results may become inaccurate\r\n\r\nStop Watchkeeper?"))
            return;
        bar.Check(ID_OPTIONS_WATCHKEEPER, false);
        tray.Check(ID_TRAY_WATCHKEEPER, false);
        watchers_->StopWatchers();
    } else {
        bar.Check(ID_OPTIONS_WATCHKEEPER, true);
        tray.Check(ID_TRAY_WATCHKEEPER, true);
        watchers_->StartWatchers();
    }
}

}  // namespace corvella
