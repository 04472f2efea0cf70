#!/usr/bin/env bash
# The table's steps use variables and arguments that shellcheck cannot see.
# shellcheck disable=SC2034,SC2119,SC2120
# End-to-end tests of the desktop program: Corvella.exe runs under Wine on a virtual X display and
# a driver (driver.cpp) works its window by messages, as a user would.
#
#   tests/e2e/run-e2e.sh PRESET      PRESET: win64 or win32 (built beforehand, with its package)
#
# CORVELLA_E2E_ONLY, a regex, runs only the scenarios whose names match it whole (first-run
# makes the cache that the scenarios starting from `cached` take).
#
# Logs in build/e2e/logs/, screenshots for review in build/e2e/shots/ (of the bare X root).
#
# The scenarios are a table (SCENARIOS): a name, then steps separated by " ; " (also on indented
# lines of their own), each a verb and its arguments in shell quoting, expanded when the step runs.
# A verb is a function v_VERB below or else a command of the driver; ID_ and IDC_ names of
# resources/resource.h stand for their numbers; a step that begins with `not` passes when its verb
# fails. A scenario passes when all its steps do; the first that fails is named. Scenarios share
# one run of the program; one that begins with `data`, `cached` or `no-data` starts from a state
# of its own (the program left running before it fails).
#
# The setup program's scenarios come last: they install it into the prefix silently, uninstall it
# through its pages (which keep the user's data unless asked), start the installed program,
# install over it and uninstall it while it runs.
#
# The prefix is fenced as tests/wine/prefix.sh tells. Its drives besides C: are D:, a small tree
# made afresh for each run that the searches count in, and E:, 300,000 files made once and kept,
# which give every build the seconds that the steps taken while it runs need.
set -uo pipefail

SOURCE_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
WORK_DIR="$SOURCE_DIR/build/e2e"
BUILD_FILES="src/Corvella.exe src/help.html src/corvella-cli.exe src/settings.ini src/icons/default.ico tests/e2e/corvella_e2e_driver.exe"
MORE_TOOLS=import
# shellcheck source=tests/wine/prefix.sh
. "$SOURCE_DIR/tests/wine/prefix.sh"
SHOT_DIR="$WORK_DIR/shots"
D="$DRIVES_DIR/d"  # drive D:

# Seconds.
PROGRAM_LIFE=1800  # one run of Corvella.exe, however its scenarios go
DRIVER_LIMIT=900   # one driver command; its own waits are shorter
START_WAIT=60      # the main window appearing, a program ending
SEARCH_WAIT=60     # a search's status line
BUILD_WAIT=600     # a build of C:, D: and E:
WATCH_WAIT=60      # a file made on D: reaching the cache

REPORTS=37           # D:\qz\...\qzreport-0001.txt ... qzreport-0037.txt
REPORTS_IN_ALPHA=20  # of them in D:\qz\alpha
BUILT='\[Caching is Finished\] [0-9]+ items cached, +[0-9]+s \([0-9.]+GB\)'
BUILDING='\[Caching Drive [C-Z] \] .*'
# The shell's question before it sends several files to the trash.
TRASH_TITLE='Confirm file deletion'

read -r -d '' SCENARIOS <<'EOF'
first-run   data 0 1 ; start-build ; disk yes "$DATA_DIR/default.db"
            state FirstRun=TRUE ProgramExit=FALSE UpdateCacheExit=TRUE 'CacheFileSize=[0-9]+'
            dialog 'Welcome to Corvella' '1030 * You can start seaching after the search cache is built.'
            dialog 'Welcome to Corvella' '' IDOK
            keep-cache
save-results
            find type ksave- 3 ; command ID_ARRANGE_NAME ; menu ID_FILE_SAVE_RESULTS
            dialog 'Save Results' 'Format:' ; is get-text 'Save Results' IDC_SAVE_FORMAT = '[FILEDIR][FILENAME]'
            is get-text 'Save Results' IDC_SAVE_PATH = "C:\\users\\$WINE_USER\\Documents\\SearchResults.txt"
            set-text 'Save Results' IDC_SAVE_PATH ' ' ; click 'Save Results' IDOK
            box IDOK 'Invalid information, file path or save format must not be blank.'
            set-text 'Save Results' IDC_SAVE_PATH 'C:\saved out.txt' ; set-text 'Save Results' IDC_SAVE_FORMAT '[SIZE],[DATE]'
            click 'Save Results' IDOK ; box IDOK 'Invalid save format, format must contain [FILEDIR] or [FILENAME] filed.'
            set-text 'Save Results' IDC_SAVE_FORMAT ' [FILEDIR][FILENAME] ' ; made 'saved out.txt' ; click 'Save Results' IDOK
            dialog 'Confirm Message' 'File already exists. Do you want to overwrite it ?' IDNO
            dialog 'Save Results' 'Format:' ; click 'Save Results' IDOK ; dialog 'Confirm Message' '' IDYES
            notepad 30 ; saved 'saved out.txt' '\xEF\xBB\xBFD:\\ksave\\ksave-plain.txt\r\nD:\\ksave\\ksave-Ωμέγα.txt\r\nD:\\ksave\\ksave-日本.txt\r\n'
            gone saved-selected.txt ; key 36 main IDC_RESULTS ; menu ID_FILE_SAVE_RESULTS ; dialog 'Save Results' 'Format:'
            set-text 'Save Results' IDC_SAVE_PATH 'C:\saved-selected.txt' ; click 'Save Results' IDC_SAVE_SELECTED
            click 'Save Results' IDOK ; notepad 30 ; saved saved-selected.txt 'D:\\ksave\\ksave-plain.txt\r\n'
            gone saved.csv ; menu ID_FILE_SAVE_RESULTS ; dialog 'Save Results' 'Format:' ; set-text 'Save Results' IDC_SAVE_PATH 'C:\saved.csv'
            set-text 'Save Results' IDC_SAVE_FORMAT '"[FILEDIR][FILENAME]",[SIZE],[DATE]' ; click 'Save Results' IDOK ; notepad 30
            saved saved.csv '\xEF\xBB\xBF"D:\\ksave\\ksave-plain.txt",3,2024-03-05 07:08:09\r\n"D:\\ksave\\ksave-Ωμέγα.txt",0,2024-03-05 07:08:09\r\n"D:\\ksave\\ksave-日本.txt",0,2024-03-05 07:08:09\r\n'
acting      find type kact 8 ; command ID_ARRANGE_NAME ; select 1 3
            command ID_LIST_COPY_FILE_PATH ; is clipboard text = 'D:\kact\kact-1.txt\r\nD:\kact\kact-3.txt\r\n'
            command ID_LIST_COPY_FOLDER_PATH ; is clipboard text = 'D:\kact\\r\nD:\kact\\r\n'
            command ID_LIST_COPY ; is clipboard files = 'D:\kact\kact-1.txt' 'D:\kact\kact-3.txt'
            select 7 ; command ID_LIST_COMMAND_PROMPT ; prompt 'D:\kact\a&b\'
            select 5 ; menu ID_LIST_SEARCH_THIS_FOLDER ; box IDOK 'This is not a folder!'
            select 6 ; command ID_LIST_SEARCH_THIS_FOLDER ; find search kact 1
            location 'My Computer' ; find type kact 8 ; command ID_ARRANGE_NAME ; select 7
            command ID_LIST_SEARCH_SAME_FOLDER ; find search kact 1 ; location 'My Computer'
            find type 'D:' 1 ; select 0 ; command ID_LIST_COPY_FOLDER_PATH ; is clipboard text = 'D:\r\n'
            command ID_LIST_COPY ; is clipboard files = 'D:\' ; command ID_LIST_DELETE ; rows 1 ; no-dialog "$TRASH_TITLE"
            find type kact 8 ; command ID_ARRANGE_NAME ; total ; select 2 4 ; menu ID_LIST_DELETE
            dialog "$TRASH_TITLE" '' IDYES ; recounted 6 8 ; disk no $D/kact/kact-{2,4}.txt ; disk yes $D/kact/kact-{1,3}.txt
            select 1 2 ; command ID_LIST_COPY_FILE_PATH ; is clipboard text = 'D:\kact\kact-1.txt\r\nD:\kact\kact-3.txt\r\n'
            find type kact-1 1 ; mouse row click 3 ; popup yes 10 ; key 40 ; key 39 ; sleep 2
            key 40 ; key 40 ; key 13 ; popup no 10 ; is clipboard files = 'D:\kact\kact-1.txt'
            find type kact 6 ; command ID_ARRANGE_NAME ; mouse row click 1
            select 1 2 ; press ctrl+c ; is clipboard files = 'D:\kact\kact-1.txt' 'D:\kact\kact-3.txt'
            select 2 ; press ctrl+shift+c ; is clipboard text = 'D:\kact\kact-3.txt\r\n' ; select 1 2
            press Delete ; dialog "$TRASH_TITLE" '' IDYES ; rows 4 ; disk no $D/kact/kact-{1,3}.txt
screenshots find type qzreport $REPORTS ; mouse row sleep 1 ; tip yes 10
            find type qz $((REPORTS + 1)) ; tip no 0 ; sleep 2 ; shoot 04-results
watchkeeper find search qzwatched 0 ; appears qzwatched-new.txt
update-cache
            menu ID_TOOLS_UPDATE_CACHE ; status "$BUILDING" $BUILD_WAIT ID_TOOLS_UPDATE_CACHE
            box IDOK 'It is already running!' ; status "$BUILT" $BUILD_WAIT ; no-box
            state UpdateCacheExit=TRUE ; find type qzwatched 1
tray        tray-icon yes ; syscommand 0xF060 ; visible no ; tray-click 0x0203 ; visible yes ; placed
            tray-click 0x0204 ; popup yes 10 ; endmenu ; popup no 10
            tray-click 0x0201 ; popup yes 10 ; endmenu ; popup no 10
            tray-click 0x0201 0x0203 ; visible no ; sleep 2 ; popup no 0
            menu ID_TRAY_OPEN ; visible yes ; menu ID_TRAY_OPEN ; sleep 1 ; visible yes 0
            shell-restart ; tray-icon yes 10
hot-key     move 7 9 ; hot-key ; placed
            key 27 ; visible no ; hot-key ; visible yes ; placed
closing     syscommand 0xF060 ; visible no ; sleep 2 ; running ; second-start ; visible yes
            key 27 ; visible no ; running ; exit ; state UpdateCacheExit=TRUE
exit-after-second-update
            cached ; open
            menu ID_TOOLS_UPDATE_CACHE ; status "$BUILDING" $BUILD_WAIT ID_TOOLS_UPDATE_CACHE
            box IDOK '' 30 ID_FILE_EXIT ; ends ; state UpdateCacheExit=FALSE ProgramExit=TRUE
unfinished-build
            data 0 1 UpdateCacheExit=FALSE ProgramExit=TRUE CacheFileSize=0 ; cache ; start-build
            state UpdateCacheExit=TRUE ProgramExit=FALSE ; close ; ends ; state ProgramExit=TRUE
abnormal-end-asks
            data 1 1 UpdateCacheExit=TRUE ProgramExit=FALSE CacheFileSize=0 ; cache ; start
            box IDNO 'Program terminated abnormally last time, Watchkeeper may be interfered.' $START_WAIT
            window yes $START_WAIT ; sleep 3 ; status '' 0 ; state UpdateCacheExit=TRUE
            find search qzreport $REPORTS ; menu ID_FILE_EXIT ; box IDNO 'Exit Corvella?'
            sleep 2 ; running ; visible yes 10 ; exit asked
growth-defragments
            data 0 1 UpdateCacheExit=TRUE ProgramExit=TRUE CacheFileSize=$((KEPT_SIZE / 1048576))
            cache 10 ; open ; shrunk ; state UpdateCacheExit=TRUE ; status '' 0
            find search qzreport $REPORTS ; exit
criteria-pages
            cached ; open ; location 'D:\' ; tab 1
            set-text page IDC_PAGE_MIN_EDIT 100 ; click page IDC_PAGE_MIN_CHECK ; same-count --min-size 100
            click page IDC_PAGE_MIN_CHECK ; set-text page IDC_PAGE_MAX_EDIT 2 ; click page IDC_PAGE_MAX_CHECK
            same-count --max-size 2 ; set-text page IDC_PAGE_MAX_EDIT 0 ; same-count --max-size 0
            click page IDC_PAGE_MAX_CHECK ; set-text page IDC_PAGE_MAX_EDIT 9 ; same-count
            set-date page IDC_PAGE_FROM_DATE 2024 3 5 ; set-date page IDC_PAGE_TO_DATE 2024 3 5
            click page IDC_PAGE_FROM_CHECK ; click page IDC_PAGE_TO_CHECK
            same-count --modified-from 2024-03-05 --modified-to 2024-03-05
            click page IDC_PAGE_FROM_CHECK ; same-count --modified-to 2024-03-05
            click page IDC_PAGE_TO_CHECK ; tab 2
            choose page IDC_PAGE_KIND 2 ; same-count --folders ; choose page IDC_PAGE_KIND 1
            same-count --files ; choose page IDC_PAGE_KIND 0 ; click page IDC_PAGE_NO_SUBDIRS
            same-count --no-subdirs ; served --sort name ; key 13 page IDC_PAGE_NO_SUBDIRS ; sleep 1 ; visible yes 0
            key 27 page IDC_PAGE_NO_SUBDIRS ; visible no ; running ; exit
quick-buttons
            cached
            buttons 'Logs|*.log|DEFAULT|.\icons\music.ico' 'Reports|qzreport-000*|D:\qz\alpha|C:\none.ico' 'Songs|*.mp3|  DEFAULT |.\icons\music.ico'
            open ; is quick = 'Logs shown' 'Reports shown' 'Songs shown' 'more hidden'
            quick 1 ; found 9 ; rows 9 ; is entries IDC_PATTERN = '' ; location 'D:\qz' ; quick 2 ; found 1
            location 'D:\qz\beta' ; quick 0 ; found 0 ; location 'My Computer'
            keep-settings ; menu ID_TOOLS_CUSTOMIZE_TOOLBAR ; dialog 'Customize Toolbar' 'Location:'
            is get-text 'Customize Toolbar' IDC_TB_TEXT = Logs ; is get-text 'Customize Toolbar' IDC_TB_ACTION = '*.log'
            set-text 'Customize Toolbar' IDC_TB_TEXT Changed
            closes 'Customize Toolbar' IDC_TB_CANCEL ; settings-kept ; is quick = 'Logs shown' 'Reports shown' 'Songs shown' 'more hidden'
            menu ID_TOOLS_CUSTOMIZE_TOOLBAR ; dialog 'Customize Toolbar' 'Location:'
            click 'Customize Toolbar' IDC_TB_ADD ; dialog 'Add Toolbar Button' 'Location:'
            is get-text 'Add Toolbar Button' IDC_ADD_ACTION = '*.mp3' ; is get-text 'Add Toolbar Button' IDC_ADD_LOCATION = DEFAULT
            set-text 'Add Toolbar Button' IDC_ADD_TEXT Fresh ; set-text 'Add Toolbar Button' IDC_ADD_ACTION 'qzreport-001*'
            closes 'Add Toolbar Button' IDC_ADD_ADD
            is get-text 'Customize Toolbar' IDC_TB_TEXT = Fresh ; click 'Customize Toolbar' IDC_TB_UP
            pick 'Customize Toolbar' IDC_TB_LIST 0 ; set-text 'Customize Toolbar' IDC_TB_TEXT Logfiles
            pick 'Customize Toolbar' IDC_TB_LIST 1 ; is get-text 'Customize Toolbar' IDC_TB_TEXT = Reports
            click 'Customize Toolbar' IDC_TB_DEL ; is get-text 'Customize Toolbar' IDC_TB_TEXT = Fresh
            click 'Customize Toolbar' IDC_TB_LOCATION_BROWSE ; dialog 'Browse for Folder' 'Select Folder' 2
            is get-text 'Customize Toolbar' IDC_TB_LOCATION = 'My Computer'
            click 'Customize Toolbar' IDC_TB_ICON_BROWSE ; dialog Open '' ; set-text Open 1148 'C:\corvella\Icons\Pictures.ico'
            closes Open 1 ; closes 'Customize Toolbar' IDC_TB_SAVE
            toolbar '.\icons\music.ico|Logfiles|*.log|DEFAULT' '.\icons\pictures.ico|Fresh|qzreport-001*|My Computer' '.\icons\music.ico|Songs|*.mp3|DEFAULT'
            is quick = 'Logfiles shown' 'Fresh shown' 'Songs shown' 'more hidden' ; quick 1 ; found 10 ; exit
quick-damaged
            cached ; buttons 'B0|*.log|DEFAULT|C:\windows'
            damage-toolbar ; open ; quick-count 256 ; find search qzreport $REPORTS ; quick 1 ; found 1 ; exit
dpi-150     cached ; dpi 144 ; twelve-buttons ; open ; overflows yes
            overflow-menu 24-quick-overflow-150-dpi ; mouse away
            find type qz $((REPORTS + 1)) ; sleep 2 ; shoot 16-results-150-dpi ; exit ; dpi 96
start-with-windows
            cached ; new-user
            reg-set "$DESKTOP" HungAppTimeout 3000 ; reg-set "$DESKTOP" WaitToKillAppTimeout
            open ; is reg-get "$RUN" Corvella = "$AUTORUN" ; timeouts 0 5000 5000 ; menu ID_TRAY_START_WITH_WINDOWS
            box IDYES "Don't start Corvella with windows?" ; not reg-get "$RUN" Corvella ; exit ; open
            not reg-get "$RUN" Corvella ; command ID_OPTIONS_START_WITH_WINDOWS ; no-box ; is reg-get "$RUN" Corvella = "$AUTORUN" ; exit
            reg-set "$RUN" Corvella 'C:\Program Files\Corvella\Corvella.exe /hide'
            reg-set "$DESKTOP" HungAppTimeout 20000 ; reg-set "$DESKTOP" AutoEndTasks 1
            start /HIDE ; window yes $START_WAIT ; visible no ; sleep 3 ; visible no 0 ; running ; tool-window
            is reg-get "$RUN" Corvella = "$AUTORUN" ; timeouts 0 20000 5000 ; tray-icon yes 10
            find type qzreport $REPORTS ; hot-key ; visible yes ; placed ; close ; ends ; state ProgramExit=TRUE
session-end-during-build
            data 0 1 UpdateCacheExit=FALSE ProgramExit=TRUE ; cache ; start-watching "$BUILDING" end-session
            state ProgramExit=TRUE UpdateCacheExit=FALSE ; visible no ; tray-icon no
            close ; ends ; whole ; start-build ; no-box ; exit
data-folder-blocked
            no-data-but-a-file ; start
            box IDOK "Can not find the application data directory \"C:\users\\$WINE_USER\AppData\Roaming\Corvella Data\" for Corvella, Please reinstall this program." $START_WAIT
            ends ; untouched
uninstall-keeps-data
            no-data-no-install ; install ; installed ; wizard "$INSTALL_WIN\uninstall.exe"
            page "$UNINSTALL_TITLE" 'Remove my search cache' 1 ; page "$UNINSTALL_TITLE" 'will be uninstalled' 1
            page "$UNINSTALL_TITLE" 'Uninstallation Complete' 1 ; uninstalled ; disk yes "$DATA_DIR/settings.ini"
silent-install
            no-data-no-install ; install ; installed ; use-installed ; start-build
            find search qzreport $REPORTS ; exit asked
reinstall-keeps-data
            own-settings ; keep-settings ; open ; install ; ends ; installed ; settings-kept begin
            disk yes "$DATA_DIR/default.db" ; open ; find search qzreport $REPORTS
uninstall-while-running
            reg-set "$RUN" Corvella "\"$INSTALL_WIN\\Corvella.exe\" /hide" ; uninstall /REMOVEDATA ; ends ; uninstalled
            disk no "$DATA_DIR"
EOF

RUN='Software\Microsoft\Windows\CurrentVersion\Run' DESKTOP='Control Panel\Desktop'
AUTORUN='"C:\corvella\Corvella.exe" /hide'
# A Windows user who never ran the program: no marker of a first start, no autorun value.
v_new_user() { reg_gone 'HKCU\Software\Corvella' && v_reg_set "$RUN" Corvella; }
# KEY NAME [TEXT]: the current user's value NAME of KEY set to TEXT, or deleted when none is given.
v_reg_set() {
    if [ $# -eq 3 ]; then reg add "HKCU\\$1" /v "$2" /d "$3" /f; else reg_gone "HKCU\\$1" /v "$2"; fi
}
reg_gone() { ! reg query "$@" || reg delete "$@" /f; }  # KEY [/v NAME]: deleted when it is there
# KEY NAME: that text value, in DRIVEN; fails when there is none.
v_reg_get() {
    reg query "HKCU\\$1" /v "$2" &&
        DRIVEN="$(tr -d '\r' <"$WORK_DIR/launch.out" | sed -n "s/^ *$2 \{2,\}REG_SZ \{2,\}//p")"
}
v_timeouts() {  # AutoEndTasks HungAppTimeout WaitToKillAppTimeout
    prints reg-get "$DESKTOP" AutoEndTasks = "$1" && prints reg-get "$DESKTOP" HungAppTimeout = "$2" &&
        prints reg-get "$DESKTOP" WaitToKillAppTimeout = "$3"
}
# At its start-up placement (start-up size, centred on the 1280x1024 screen) with a taskbar
# button; a tool window has none.
v_placed() {
    local x y w h kind
    start_layout && drive layout && read -r w h x y kind <<<"$DRIVEN" && [ "$kind" = app ] &&
        [ "$w $h" = "$(cut -d ' ' -f 1,2 <<<"$START_LAYOUT")" ] &&
        [ $(((2 * x + w - 1280) ** 2 + (2 * y + h - 1024) ** 2)) -le 2 ]
}
start_layout() { [ -n "${START_LAYOUT:-}" ] || { drive layout && START_LAYOUT=$DRIVEN; }; }
v_tool_window() { drive layout && [[ $DRIVEN == *' tool' ]]; }

v_data() {  # DIALOGS CHECK [KEY=VALUE...]: a fresh data folder, with a state file if keys are given
    [ "$DPI" = 96 ] || v_dpi 96 || return 1  # a scenario that failed at another scale
    rm -rf "$DATA_DIR" && mkdir -p "$DATA_DIR" || return 1
    printf '[OPTIONS]\r\nENABLE_DIALOGS=%s\r\nCHECK_INTEGRITY=%s\r\n' "$1" "$2" >"$DATA_DIR/settings.ini"
    [ $# -eq 2 ] || { printf '[STATEINFO]\r\n' && printf '%s\r\n' "${@:3}"; } >"$DATA_DIR/stateinfo.ini"
}
# A file under the data folder's name, which a start must neither use nor replace.
v_no_data_but_a_file() { rm -rf "$DATA_DIR" && printf 'not a folder' >"$DATA_DIR" && ROAMING="$(ls -A "${DATA_DIR%/*}")"; }
v_untouched() { [ "$(cat "$DATA_DIR")" = 'not a folder' ] && [ "$(ls -A "${DATA_DIR%/*}")" = "$ROAMING" ]; }
# The cache file is well-formed as the command line's check reads it, though it may hold only
# what a build cut off had published.
v_whole() {
    local out
    out="$(cli check 2>&1)"
    printf '%s\n' "$out"
    grep -q '^free blocks: ' <<<"$out" && ! grep -q 'damaged' <<<"$out"
}
v_keep_cache() { cp "$DATA_DIR/default.db" "$WORK_DIR/default.db" && KEPT_SIZE=$(stat -c %s "$WORK_DIR/default.db"); }
v_cache() {  # [MIB]: the kept cache, with MIB MiB of zeros after it
    cp "$WORK_DIR/default.db" "$DATA_DIR/" && head -c $((${1:-0} << 20)) /dev/zero >>"$DATA_DIR/default.db"
}
# The common start of a scenario: the kept cache, its state as a clean exit left it, no dialogs.
v_cached() { v_data 0 1 UpdateCacheExit=TRUE ProgramExit=TRUE && v_cache; }
# A defragmentation at start-up shrank the cache file back to what the build wrote, give or take a
# few bytes, and recorded its size.
v_shrunk() {
    local size
    size=$(stat -c %s "$DATA_DIR/default.db") && [ "$size" -le $((KEPT_SIZE + 4096)) ] &&
        v_state CacheFileSize=$((size >> 20))
}
# The setup program and its uninstaller, as a user meets them: per user, without elevation.
INSTALL_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Corvella'
INSTALLED_FILES="Corvella.exe corvella-cli.exe help.html settings.ini icons/corvella.ico icons/default.ico icons/music.ico uninstall.exe"
# As run_in_wine, in the background, its output in LOG_DIR/setup.log; started once more when
# Wine's launcher failed to start it at all (as `drive` does).
launch() {  # seconds unix_dir windows_exe [arguments]
    local status
    in_background run_in_wine "$@" >"$WORK_DIR/launch.out" 2>&1
    status=$?
    if grep -q "ShellExecuteEx failed" "$WORK_DIR/launch.out"; then
        in_background run_in_wine "$@" >"$WORK_DIR/launch.out" 2>&1
        status=$?
    fi
    tr -d '\r' <"$WORK_DIR/launch.out" >>"$LOG_DIR/setup.log"
    return "$status"
}
reg() { launch 30 "$APP_DIR" reg "$@"; }
# Nothing installed and no data folder, as on a machine that never had the program.
v_no_data_no_install() {
    v_use_copied && rm -rf "$INSTALL_DIR" "$SHORTCUT" "$DATA_DIR" && reg_gone "$INSTALL_KEY"
}
v_wizard() { run_in_wine "$BUILD_WAIT" "$APP_DIR" "$1" >>"$LOG_DIR/setup.log" 2>&1 & }  # EXE
v_install() { launch "$BUILD_WAIT" "$APP_DIR" 'C:\corvella\setup.exe' /S; }
# The uninstaller copies itself away and returns at once; `uninstalled` waits for its work.
# Under load Wine's start of the uninstaller now and then fails before it has done anything; what
# it did is proven by `uninstalled`, so it is given once more while it is still there.
v_uninstall() {  # [/REMOVEDATA]
    launch 60 "$APP_DIR" "$INSTALL_WIN\uninstall.exe" /S "$@" && return
    [ -f "$INSTALL_DIR/uninstall.exe" ] && sleep 2 &&
        launch 60 "$APP_DIR" "$INSTALL_WIN\uninstall.exe" /S "$@"
}
v_installed() {
    local file entry
    for file in $INSTALLED_FILES; do [ -f "$INSTALL_DIR/$file" ] || { echo "   no $file"; return 1; }; done
    [ -f "$DATA_DIR/settings.ini" ] && [ -f "$SHORTCUT" ] &&
        launch 30 "$APP_DIR" reg query "$INSTALL_KEY" && entry="$(tr -d '\r' <"$WORK_DIR/launch.out")" &&
        grep -Eq "DisplayName +REG_SZ +Corvella$" <<<"$entry" &&
        grep -Fq "\"$INSTALL_WIN\\uninstall.exe\" /S" <<<"$entry" &&
        grep -Eq "DisplayVersion +REG_SZ +$VERSION$" <<<"$entry" &&
        grep -Eq "EstimatedSize +REG_DWORD +0x[0-9a-f]+$" <<<"$entry"
}
v_uninstalled() {
    within 60 eval '[ ! -e "$INSTALL_DIR" ] && [ ! -e "$SHORTCUT" ]' || { echo "   files left"; return 1; }
    ! reg query "$INSTALL_KEY" && ! v_reg_get "$RUN" Corvella
}
v_use_installed() { PROGRAM_DIR=$INSTALL_DIR PROGRAM="$INSTALL_WIN\Corvella.exe"; }
v_use_copied() { PROGRAM_DIR=$APP_DIR PROGRAM='C:\corvella\Corvella.exe'; }
v_own_settings() { printf '[OPTIONS]\r\nENABLE_DIALOGS=0\r\nCHECK_INTEGRITY=1\r\n; mine\r\n' >"$DATA_DIR/settings.ini"; }
v_made() { printf 'old\r\n' >"$WINEPREFIX/drive_c/$1"; }  # NAME: a file at C:'s root
v_gone() { rm -f "$WINEPREFIX/drive_c/$1"; }
# NAME BYTES: the file at C:'s root holds exactly BYTES (printf's escapes).
v_saved() {
    # shellcheck disable=SC2059
    cmp <(printf "$2") "$WINEPREFIX/drive_c/$1" || { od -c "$WINEPREFIX/drive_c/$1" | head; return 1; }
}
v_state() { expect_ini stateinfo.ini "$@"; }
# COMMAND [ARGUMENT...]: the command line on the first user's cache file, without carriage returns.
cli() {
    run_in_wine "$START_WAIT" "$APP_DIR" 'C:\corvella\corvella-cli.exe' "$1" --cache \
        "C:\\users\\$WINE_USER\\AppData\\Roaming\\Corvella Data\\default.db" "${@:2}" | tr -d '\r'
}
# OPTIONS...: the command line's count of `*` in D:\ with these options, in COUNTED. A cache
# file that the program holds open this moment is asked again.
cli_count() {
    local out try
    for try in 1 2 3; do
        out="$(cli search --in 'D:\' --count "$@" '*' 2>&1)"
        printf '   cli %s -> %s\n' "$*" "$out"
        [[ $out =~ ([0-9,]+)\ items\ found ]] && COUNTED=${BASH_REMATCH[1]//,/} && return
        sleep 1
    done
    return 1
}
# OPTIONS...: the command line's search of `*` in D:\ is answered by the running program through
# its pipe, and says what the command line's own walk of the file says.
v_served() {
    local served walked said
    served="$(cli search -v --in 'D:\' "$@" '*' 2>"$LOG_DIR/served.err")"
    said="$(tr -d '\r' <"$LOG_DIR/served.err")"
    walked="$(CORVELLA_NO_KEEPER=1 cli search --in 'D:\' "$@" '*')"
    printf '   served %s -> %s lines, %s\n' "$*" "$(wc -l <<<"$walked")" "$said"
    [[ $said =~ ^corvella:\ answered\ by\ the\ keeper ]] && [ -n "$walked" ] &&
        [ "$served" = "$walked" ]
}
# OPTIONS...: searching `*` in D:\ with the pages set as these command-line options shows as many
# rows as the command line counts, and fewer than without the options; with none, all of them.
v_same_count() {
    cli_count || return 1
    local all=$COUNTED
    [ $# -eq 0 ] || { cli_count "$@" && [ "$COUNTED" -lt "$all" ]; } || return 1
    v_find type '' 0 && v_find search '*' "$COUNTED"
}
# LABEL|PATTERN[|LOCATION[|ICON]]...: quick buttons in settings.ini; a missing location is
# DEFAULT, a missing icon the default one.
v_buttons() {
    local i=0 label pattern location icon
    printf '[TOOLBAR]\r\ntbnumber=%s\r\n' $# >>"$DATA_DIR/settings.ini"
    for b; do
        IFS='|' read -r label pattern location icon <<<"$b"
        printf 'ICONTEXT_%s=%s\r\nQUERYPATTER_%s=%s\r\nSEARCHLOC_%s=%s\r\nICON_%s=%s\r\n' \
            $i "$label" $i "$pattern" $i "${location:-DEFAULT}" $i "${icon:-.\\icons\\default.ico}" \
            >>"$DATA_DIR/settings.ini"
        i=$((i + 1))
    done
}
# SECTION AWK WANT...: settings.ini's SECTION, whatever the file's encoding, read into key[NAME]
# (and its count of keys); what AWK prints from them is exactly the lines WANT.
ini_is() {
    local got
    got="$(tr -d '\000\r\376\377' <"$DATA_DIR/settings.ini" | awk -v section="[$1]" '
        /^\[/ { inside = toupper($0) == section; next }
        inside { eq = index($0, "="); key[substr($0, 1, eq - 1)] = substr($0, eq + 1); keys++ }
        END { '"$2"' }')"
    [ "$got" = "$(printf '%s\n' "${@:3}")" ] || { echo "   $1 holds: ${got//$'\n'/ | }"; return 1; }
}
# ICON|LABEL|PATTERN|LOCATION...: settings.ini's TOOLBAR section holds exactly these buttons.
v_toolbar() {
    ini_is TOOLBAR 'n = key["tbnumber"] + 0; print n " buttons, " keys " keys"
        for (i = 0; i < n; i++) print key["ICON_" i] "|" key["ICONTEXT_" i] "|" key["QUERYPATTER_" i] "|" key["SEARCHLOC_" i]' \
        "$# buttons, $((4 * $# + 1)) keys" "$@"
}
# More quick buttons than a page at its start-up width shows: button N (from 1) finds N reports
# by name, button 0 searches a location that does not exist.
v_twelve_buttons() {
    local buttons=('A0|qzreport|Q:\nowhere') i pattern=''
    for ((i = 1; i < 12; i++)); do
        pattern+="${pattern:+;}qzreport-$(printf %04d "$i").txt"
        buttons+=("A$i|$pattern")
    done
    v_buttons "${buttons[@]}"
}
# A count past any sense and a label longer than Windows reads a value.
v_damage_toolbar() {
    sed -i 's/^tbnumber=.*/tbnumber=2000000000\r/' "$DATA_DIR/settings.ini" &&
        printf 'ICONTEXT_1=%s\r\nQUERYPATTER_1=*.log\r\n' "$(head -c 40000 /dev/zero | tr '\0' x)" >>"$DATA_DIR/settings.ini"
}
v_quick_count() { drive quick && [ "$(grep -vc '^more ' <<<"$DRIVEN")" = "$1" ]; }
v_keep_settings() { cp "$DATA_DIR/settings.ini" "$WORK_DIR/kept-settings.ini"; }
# [begin]: settings.ini is as kept; with begin, only its start is, for what the program stores
# after the user's own lines (its histories at its exit) may follow.
v_settings_kept() {
    cmp ${1:+-n "$(stat -c %s "$WORK_DIR/kept-settings.ini")"} "$DATA_DIR/settings.ini" "$WORK_DIR/kept-settings.ini"
}
# yes|no: some buttons went into the overflow menu (the bar shows a first run of them, the menu
# the rest, and the overflow button shows with it); FIRST_HIDDEN is the first in the menu.
v_overflows() { within 5 overflows_now "$1"; }
overflows_now() {  # the buttons' states, s or h, then the overflow button's
    local states shown
    drive quick && states="$(awk '{ printf "%s", ($2 == "shown" ? "s" : "h") }' <<<"$DRIVEN")" || return 1
    shown=${states%%h*} FIRST_HIDDEN=${#shown}
    if [ "$1" = yes ]; then [[ $states =~ ^s+h+s$ ]]; else [[ $states =~ ^s+h$ ]]; fi
}
# SHOT: the overflow button's menu shows (shot) and its first line runs the first hidden button.
v_overflow_menu() {
    v_mouse button more click 1 && drive popup yes 10 && sleep 1 && v_shoot "$1" &&
        timeout 10 xdotool mousemove_relative 20 10 click 1 && drive popup no 10 && v_found "$FIRST_HIDDEN"
}
# Each KEY of the file must take a value matching VALUE (a regex) within 10 s, whatever the file's
# encoding: the program writes keys one by one, and a build's last status line comes before them.
expect_ini() {  # file KEY=VALUE...
    local file="$DATA_DIR/$1" pair got deadline=$((SECONDS + 10))
    for pair in "${@:2}"; do
        until got="$(tr -d '\000\r\376\377' <"$file" 2>/dev/null | sed -n "s/^${pair%%=*}=//p" | head -n 1)" &&
            [[ $got =~ ^(${pair#*=})$ ]]; do
            [ "$SECONDS" -lt "$deadline" ] || { echo "   $1: ${pair%%=*} is \"$got\""; return 1; }
            sleep 0.2
        done
    done
}

v_start() { # [ARGUMENTS]
    run_in_wine "$PROGRAM_LIFE" "$PROGRAM_DIR" "$PROGRAM" "$@" >>"$LOG_DIR/program.log" 2>&1 &
    PROGRAM_PID=$!
}
v_open() { v_start "$@" && drive window yes "$START_WAIT" && drive visible yes "$START_WAIT"; }
# Starts the program while a driver watches the status line from before the window exists, so
# that nothing of a build at start-up is missed, until it matches REGEX; then posts ID (or ends
# the session).
v_start_watching() {  # REGEX [ID | end-session]
    local watcher
    drive_async wait-status "$1" "$BUILD_WAIT" "${@:2}"
    watcher=$DRIVER_PID
    sleep 2  # the watching driver runs first
    v_start && drive_wait "$watcher" wait-status "$@"
}
# A build at start-up that shows its progress on the way to its end.
v_start_build() {
    v_start_watching "$BUILT" && grep -q '^\[Caching Drive [C-Z] \] [0-9]* items cached' <<<"$DRIVEN"
}
v_second_start() {  # which must bring the window back and end by itself
    in_background run_in_wine "$START_WAIT" "$PROGRAM_DIR" "$PROGRAM" >>"$LOG_DIR/program.log" 2>&1
}
v_running() { [ -n "$PROGRAM_PID" ] && kill -0 "$PROGRAM_PID" 2>/dev/null; }
v_ends() { within "$START_WAIT" eval '! v_running'; }
v_exit() {  # [asked]: when asked, the program's question is answered Yes
    drive menu "$(id_of ID_FILE_EXIT)" && { [ $# -eq 0 ] || v_box "$(id_of IDYES)" 'Exit Corvella?'; } &&
        v_ends && v_state ProgramExit=TRUE
}

# TRIGGER (type, search, enter) PATTERN COUNT: the status line reports COUNT items and the list
# holds as many rows, or its one message row when there are none.
v_find() { drive "$1" "$2" && v_found "$3" && v_rows $(($3 ? $3 : 1)); }
v_found() { v_status "$(found_regex "$1")"; }
found_regex() {  # COUNT, its thousands separated as the status line has them
    printf '%s items found \\([0-9,]+KB\\), in [0-9]+\\.[0-9]{2}s' \
        "$(sed -e ':a' -e 's/\([0-9]\)\([0-9]\{3\}\)\($\|,\)/\1,\2\3/' -e 'ta' <<<"$1")"
}
# A search that was started twice (typed, then the button) may still be running when the first
# one's status line matches: the list's count is taken once it has settled.
v_rows() { within 10 prints count = "$1"; }
v_status() { drive wait-status "$1" "${2:-$SEARCH_WAIT}" "${@:3}"; }  # REGEX [SECONDS [ID]]
# TITLE TEXT [BUTTON]: a dialog with that caption shows within 30 s and holds TEXT in its static
# texts, each "ID TEXT" (-1 for a text without an id); BUTTON then closes it.
v_dialog() { drive dialog "$1" 30 "${@:3}" && [[ $DRIVEN == *"$2"* ]]; }
v_box() {  # BUTTON [TEXT [SECONDS [ID]]]: the same for a message box; then ID is posted at once
    drive dialog Corvella "${3:-30}" "$1" "${@:4}" && [[ $DRIVEN == *"${2:-}"* ]]
}
v_no_box() { ! drive dialog Corvella 0.5 1; }  # one that is open is answered
v_no_dialog() { within 5 dialog_gone "$1"; }  # TITLE
v_closes() { drive click "$@" && v_no_dialog "$1"; }  # TITLE BUTTON: clicked, the dialog goes
dialog_gone() { ! drive dialog "$1" 0; }
# VERB [ARGUMENT...] = LINE...: the verb (a driver command, or one that sets DRIVEN) gives exactly
# these lines within 5 s (what was posted to the program may still wait in its queue).
v_is() { within 5 prints "$@"; }
prints() {
    local i
    for ((i = 1; i < $#; i++)); do [ "${!i}" = = ] && break; done
    verb "${@:1:i-1}" && [ "$DRIVEN" = "$(printf '%s\n' "${@:i+1}")" ]
}
# PATH... exist as files (yes) or not at all (no).
v_disk() {
    local f
    for f in "${@:2}"; do
        if [ "$1" = yes ]; then [ -f "$f" ]; else [ ! -e "$f" ]; fi || { echo "   $f: not $1"; return 1; }
    done
}
v_sleep() { sleep "$1"; }
# The screen's scale for programs started after it (96 is 100%, 144 is 150%).
DPI=96
v_dpi() {
    in_background timeout 60 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
        /d "$1" /f >/dev/null 2>&1 && DPI=$1
}
v_shoot() { timeout 30 import -window root "$SHOT_DIR/$1.png" 2>>"$LOG_DIR/import.log"; }
# WHERE [XDOTOOL...]: the mouse over WHERE, with a small move there for a tool tip or a hot look;
# then xdotool's further commands, such as a click. WHERE: row (the first row), button more (the
# quick-button bar's overflow button), away (the screen's corner).
v_mouse() {
    local x y n=2
    case "$1" in
        row) drive point row ;;
        button) drive quick points && DRIVEN="$(awk '$1 == "more" { print $3, $4 }' <<<"$DRIVEN")" && n=3 ;;
        *) timeout 10 xdotool mousemove 0 0; return ;;
    esac && read -r x y <<<"$DRIVEN" &&
        timeout 10 xdotool mousemove $((x - 3)) "$y" sleep 0.3 mousemove "$x" "$y" sleep 1 "${@:n}"
}
# NAME: a file made at the root of D: is found by its name within WATCH_WAIT s. Wine 8 reports
# changes only in the watched folder itself, not below it; deeper changes are tested natively.
v_appears() {
    local deadline=$((SECONDS + WATCH_WAIT))
    printf 'new\n' >"$DRIVES_DIR/d/$1"
    until drive search "$1" && drive wait-status "$(found_regex 1)" 2; do
        [ "$SECONDS" -lt "$deadline" ] && v_find type '' 0 || return 1
    done
}

# FOLDER: a command prompt started in FOLDER with no command text of its own to run.
v_prompt() {
    drive process cmd.exe 30 && [ "${DRIVEN%% | *}" = "$1" ] &&
        [[ ${DRIVEN#* | } =~ ^\"?[A-Za-z]:\\[^\&]*cmd\.exe\"?\ *$ ]]
}
v_press() { sleep 0.5 && timeout 10 xdotool key "$1"; }  # KEYS to the window under the pointer
# The status line's total in KB, kept; then ROWS rows whose total lost KB, the sizes of the
# rows deleted as the list showed them.
v_total() { drive get-text main "$(id_of IDC_STATUS)" && [[ $DRIVEN =~ \(([0-9,]+)KB\) ]] && TOTAL_KB=${BASH_REMATCH[1]//,/}; }
v_recounted() { v_rows "$1" && v_status "$1 Items Found \\($((TOTAL_KB - $2))KB\\)" 10; }

DRIVEN=""  # the output of the last driver command

# A driver command in the background, its output in WORK_DIR/driver-COMMAND.out; its pid in
# DRIVER_PID for drive_wait, which puts the output in DRIVEN and the log and returns its status.
drive_async() {
    run_in_wine "$DRIVER_LIMIT" "$APP_DIR" 'C:\corvella\driver.exe' "$@" >"$WORK_DIR/driver-$1.out" \
        2>>"$LOG_DIR/wine-stderr.log" &
    DRIVER_PID=$!
}
drive_wait() {  # pid command [arguments]
    local status
    wait "$1"
    status=$?
    DRIVEN="$(sed 's/\r$//' "$WORK_DIR/driver-$2.out")"
    printf '   driver %s -> %s%s\n' "${*:2}" "${DRIVEN//$'\n'/ / }" \
        "$( ((status == 0)) || printf ' (exit %s)' "$status")"
    return "$status"
}
# Wine's launcher now and then fails to start a program at all ("ShellExecuteEx failed", or a
# failure with no words: the driver names what failed whenever it fails). That is no answer of
# the driver's, so the command is given once more.
drive() {
    drive_async "$@" && drive_wait "$DRIVER_PID" "$@" && return
    local status=$?
    [[ -z $DRIVEN || $DRIVEN == *"ShellExecuteEx failed"* ]] || return "$status"
    drive_async "$@" && drive_wait "$DRIVER_PID" "$@"
}

id_of() {  # a button's id, or a name of resource.h
    case "$1" in
        IDOK) echo 1 ;; IDYES) echo 6 ;; IDNO) echo 7 ;;
        *) sed -n "s/^#define $1 \([0-9]*\).*/\1/p" "$SOURCE_DIR/resources/resource.h" ;;
    esac
}

step() {  # the step's text
    local -a words
    local i
    eval "words=($1)" || return 1
    for i in "${!words[@]}"; do
        [[ ${words[i]} =~ ^ID[A-Z_]+$ ]] && words[i]="$(id_of "${words[i]}")"
    done
    if [ "${words[0]}" = not ]; then ! verb "${words[@]:1}"; else verb "${words[@]}"; fi
}
verb() { if declare -F "v_${1//-/_}" >/dev/null; then "v_${1//-/_}" "${@:2}"; else drive "$@"; fi; }

PROGRAM_PID=""
CRASHES=0  # Wine's crash reports in program.log so far; a crashed program may still exit with 0

# Runs a scenario's steps until one fails; a message box left open and a crash fail it too.
scenario() {  # steps
    local rest=$1 s status=0 crashes
    while [ -n "$rest" ]; do
        s="${rest%% ; *}"
        [ "$s" = "$rest" ] && rest="" || rest="${rest#* ; }"
        step "$s" || { echo "   FAIL at: $s"; status=1; break; }
    done
    if v_running && ! v_no_box; then status=1; fi
    crashes=$(grep -c 'Unhandled' "$LOG_DIR/program.log" 2>/dev/null)
    if [ "${crashes:-0}" -gt "$CRASHES" ]; then
        echo "   FAIL: the program crashed: $(grep 'Unhandled' "$LOG_DIR/program.log" | tail -n 1)"
        CRASHES=$crashes status=1
    fi
    return "$status"
}

# Ends whatever a run of the program left behind; that it still runs is a failure.
end_program() {
    ! v_running || { say "the program still runs after its scenarios; ending it"; stop_wine; FAILED=1; }
    PROGRAM_PID=""
}

# D:, made afresh: the reports the searches count, some other files, and 20,000 fillers, so that a
# build lasts long enough to show its progress. E:, made once: 300 folders of 1,000 empty files.
make_drives() {
    local d="$DRIVES_DIR/d" e="$DRIVES_DIR/e" i folder
    rm -rf "$d" && mkdir -p "$d/qz/alpha" "$d/qz/beta/deep" || return 1
    for ((i = 1; i <= REPORTS; i++)); do
        folder=alpha
        [ "$i" -le "$REPORTS_IN_ALPHA" ] || folder=beta/deep
        head -c $((1000 * i)) /dev/zero | tr '\0' r >"$d/qz/$folder/qzreport-$(printf %04d "$i").txt"
    done
    for i in notes.log readme.txt photo.jpg song.mp3; do head -c 5000 /dev/zero >"$d/qz/$i"; done
    # Saved results: names outside the Western code page, a size and a time to write.
    mkdir -p "$d/ksave" && head -c 2048 /dev/zero >"$d/ksave/ksave-plain.txt" &&
        touch "$d/ksave/ksave-Ωμέγα.txt" "$d/ksave/ksave-日本.txt" &&
        touch -d '2024-03-05 07:08:09' "$d/ksave/"ksave-* || return 1
    # Acting on rows: files of 1 to 4 KB, a folder with a file below it, a folder whose name
    # the command interpreter would read as two commands.
    mkdir -p "$d/kact/kact-dir" "$d/kact/a&b" && touch "$d/kact/kact-dir/kact-deep.txt" "$d/kact/a&b/kact-inner.txt" &&
        for i in 1 2 3 4; do head -c $((1024 * i)) /dev/zero >"$d/kact/kact-$i.txt" || return 1; done
    for i in {00..19}; do mkdir -p "$d/filler/f$i" && (cd "$d/filler/f$i" && touch filler-{0000..0999}.dat); done
    [ -f "$e/.corvella-tree-complete" ] && return 0
    rm -rf "$e"
    for i in {000..299}; do
        mkdir -p "$e/b$i" && (cd "$e/b$i" && touch "big-$i-"{0000..0999}.bin) || return 1
    done
    touch "$e/.corvella-tree-complete"
}

body() {  # preset
    local name steps
    runs_here "$1" || return 0
    # Wine names the profile after the Unix user; the second user's profile sits beside it.
    WINE_USER="$(id -un)"
    [ -d "$WINEPREFIX/drive_c/users/$WINE_USER" ] || die "the prefix has no profile for $WINE_USER"
    DATA_DIR="$WINEPREFIX/drive_c/users/$WINE_USER/AppData/Roaming/Corvella Data"
    APP_DIR="$WINEPREFIX/drive_c/corvella"
    INSTALL_WIN="C:\\users\\$WINE_USER\\AppData\\Local\\Programs\\Corvella"
    INSTALL_DIR="$WINEPREFIX/drive_c/users/$WINE_USER/AppData/Local/Programs/Corvella"
    SHORTCUT="$WINEPREFIX/drive_c/users/$WINE_USER/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Corvella.lnk"
    VERSION="$(sed -n 's/^project(Corvella VERSION \([0-9.]*\).*/\1/p' "$SOURCE_DIR/CMakeLists.txt")"
    UNINSTALL_TITLE="Corvella $VERSION Uninstall"
    local setup="$SOURCE_DIR/build/$1/Corvella-$VERSION-$1-setup.exe"
    [ -f "$setup" ] || die "no $setup; make it: cmake --build --preset $1 --target package"
    # Deleted files go to the trash of XDG_DATA_HOME: one of the run's own, never the user's.
    export XDG_DATA_HOME="$WORK_DIR/xdg-data"
    rm -rf "$APP_DIR" "$SHOT_DIR" "$XDG_DATA_HOME" && mkdir -p "$APP_DIR" "$SHOT_DIR" "$XDG_DATA_HOME"
    cp "$SOURCE_DIR/build/$1/src/"{Corvella.exe,help.html,corvella-cli.exe,settings.ini} "$APP_DIR/"
    cp -r "$SOURCE_DIR/build/$1/src/icons" "$APP_DIR/"
    cp "$setup" "$APP_DIR/setup.exe"
    v_use_copied
    cp "$SOURCE_DIR/build/$1/tests/e2e/corvella_e2e_driver.exe" "$APP_DIR/driver.exe"
    make_drives || die "no drives D: and E:"
    map_drive d "$DRIVES_DIR/d" && map_drive e "$DRIVES_DIR/e" && fence_holds ||
        die "the prefix reaches outside itself"
    # One line a scenario, its name first; on fd 3, since Wine's programs read standard input.
    while read -r -u 3 name steps; do
        [[ $name =~ ^(${CORVELLA_E2E_ONLY:-.*})$ ]] || continue
        case "$steps" in data\ * | no-data* | cached*) end_program ;; esac
        logged "$name" scenario "$steps"
    done 3< <(awk '/^[^ ]/ { if (line) print line; line = $0; next }
        { sub(/^ +/, ""); line = line (line ~ / / ? " ; " : " ") $0 } END { print line }' <<<"$SCENARIOS")
    end_program
}

wine_main "$@"
