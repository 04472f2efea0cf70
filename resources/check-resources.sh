#!/bin/sh
# Compiles corvella.rc with each given resource compiler (default: both MinGW-w64 windres), reads
# the compiled resources back and compares them with the numbers and texts the program's code
# relies on: the main window's controls, the three menus with their command ids and check marks,
# the welcome and about boxes, the system-menu string, the icons (16, 32 and 48 pixels, 32-bit),
# the version and the manifest.
#
# Usage: check-resources.sh [WINDRES...]      exit 0 when everything matches, 1 otherwise
set -eu

here=$(cd "$(dirname "$0")" && pwd)
[ $# -gt 0 ] || set -- x86_64-w64-mingw32-windres i686-w64-mingw32-windres

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The compiled menus, dialog and string table as windres prints them back, without the memory
# flags that some windres versions add.
cat >"$tmp/expected" <<'EOF'
130 MENU
BEGIN
  POPUP "File"
  BEGIN
    MENUITEM "Save Results As..", 32773
    MENUITEM "Save Cache File As...", 32785
    MENUITEM "Load Cache File...", 32821
    MENUITEM SEPARATOR
    MENUITEM "Exit", 32771
  END
  POPUP "Edit"
  BEGIN
    MENUITEM "Select All", 32794
  END
  POPUP "View"
  BEGIN
    POPUP "Arrange Results By"
    BEGIN
      MENUITEM "Name", 32776
      MENUITEM "Location", 32777
      MENUITEM "Size", 32778
      MENUITEM "Type", 32779
      MENUITEM "Date Modified", 32782
    END
    MENUITEM SEPARATOR
    MENUITEM "Refresh", 32786
  END
  POPUP "Tools"
  BEGIN
    MENUITEM "Customize Toolbar", 32783
    MENUITEM SEPARATOR
    MENUITEM "Update Search Cache", 32791
    POPUP "Tools"
    BEGIN
      MENUITEM "Clean Search History", 32829
      MENUITEM "Clean Location History", 32830
      MENUITEM "Defrag Cache File", 32792
    END
    POPUP "Options"
    BEGIN
      MENUITEM "Watchkeeper", 32793, CHECKED
      MENUITEM "Start With Windows", 32815
      MENUITEM "Check Cache Integrity", 32839
      MENUITEM "Enable Message Dialogs", 32842, CHECKED
    END
  END
  POPUP "Help"
  BEGIN
    MENUITEM "Content...", 32788
    MENUITEM SEPARATOR
    MENUITEM "About...", 32772
  END
END
142 MENU
BEGIN
  POPUP "LISTMENU"
  BEGIN
    MENUITEM SEPARATOR
    MENUITEM "Search In Same Folder", 32812
    MENUITEM "Search In This Folder", 32833
    MENUITEM SEPARATOR
    MENUITEM "Open", 32797
    MENUITEM "Browse File", 32808
    MENUITEM "Browse Folder", 32799
    MENUITEM "Open Command Prompt", 32800
    MENUITEM SEPARATOR
    MENUITEM "Copy File Path", 32809
    MENUITEM "Copy Folder Path", 32811
    MENUITEM "Copy", 32805
    MENUITEM SEPARATOR
    MENUITEM "Delete", 32803
  END
END
144 MENU
BEGIN
  POPUP "TRAYMENU"
  BEGIN
    MENUITEM "Open Main Window", 32813
    MENUITEM "Update Search Cache", 32818
    MENUITEM SEPARATOR
    POPUP "Options"
    BEGIN
      MENUITEM "Watchkeeper", 32828, CHECKED
      MENUITEM "Start With Windows", 32825
      MENUITEM "Check Cache Integrity", 32838
      MENUITEM "Enable Message Dialogs", 32844, CHECKED
    END
    MENUITEM SEPARATOR
    MENUITEM "Exit", 32814
  END
END
100 DIALOGEX 0, 0, 248, 76
STYLE 0x80c800c8
CAPTION "About Corvella"
FONT 8, "MS Shell Dlg", 400, 0, 1
BEGIN
  ICON 160, -1, 12, 12, 0, 0, 0x50000003
  CONTROL "Corvella Version 1.3.3", -1, 130, 0x50000080, 44, 18, 190, 10
  DEFPUSHBUTTON "OK", 1, 186, 54, 50, 14, 0x50010001
END
102 DIALOGEX 0, 0, 366, 209
STYLE 0x80ce0048
EXSTYLE 0x40000
CAPTION "Corvella"
MENU 130
FONT 8, "MS Shell Dlg", 400, 0, 1
BEGIN
  COMBOBOX 1018, 0, 56, 128, 58, 0x50210042
  COMBOBOX 1003, 128, 56, 172, 61, 0x50210042
  PUSHBUTTON "Browse", 1015, 300, 56, 30, 13, 0x50010000
  PUSHBUTTON "Search", 1004, 333, 56, 30, 13, 0x50010000
  CONTROL "", 1001, "SYSLISTVIEW32", 0x50811801, 0, 68, 366, 130
  EDITTEXT 1008, 0, 197, 366, 12, 0x50800880
  CONTROL "", 1000, "SYSTABCONTROL32", 0x56012000, 0, 0, 366, 57
END
131 DIALOGEX 0, 0, 362, 40
STYLE 0x40000448
FONT 8, "MS Shell Dlg", 400, 0, 1
BEGIN
END
137 DIALOGEX 0, 0, 362, 40
STYLE 0x40000448
FONT 8, "MS Shell Dlg", 400, 0, 1
BEGIN
  CONTROL "Minimum Size(KB):", 1007, "BUTTON", 0x50010003, 8, 5, 86, 12
  EDITTEXT 1008, 96, 5, 70, 12, 0x58812080
  CONTROL "", 1009, "MSCTLS_UPDOWN32", 0x580000b6, 0, 0, 10, 12
  CONTROL "Maximum Size(KB):", 1010, "BUTTON", 0x50010003, 190, 5, 86, 12
  EDITTEXT 1011, 278, 5, 70, 12, 0x58812080
  CONTROL "", 1012, "MSCTLS_UPDOWN32", 0x580000b6, 0, 0, 10, 12
  CONTROL "Date Modified From:", 1013, "BUTTON", 0x50010003, 8, 21, 86, 12
  CONTROL "", 1014, "SYSDATETIMEPICK32", 0x58010000, 96, 21, 70, 12
  CONTROL "Date Modified To:", 1015, "BUTTON", 0x50010003, 190, 21, 86, 12
  CONTROL "", 1016, "SYSDATETIMEPICK32", 0x58010000, 278, 21, 70, 12
END
138 DIALOGEX 0, 0, 362, 40
STYLE 0x40000448
FONT 8, "MS Shell Dlg", 400, 0, 1
BEGIN
  COMBOBOX 1002, 8, 5, 150, 60, 0x50210003
  CONTROL "No Subdirectories", 1007, "BUTTON", 0x50010003, 8, 22, 100, 12
END
139 DIALOGEX 0, 0, 262, 150
STYLE 0x80c808c8
CAPTION "Customize Toolbar"
FONT 8, "MS Shell Dlg", 400, 0, 1
BEGIN
  LISTBOX 1001, 7, 7, 100, 115, 0x50a10101
  PUSHBUTTON "Up", 1017, 7, 129, 23, 14, 0x50010000
  PUSHBUTTON "Down", 1018, 32, 129, 23, 14, 0x50010000
  PUSHBUTTON "Del", 1019, 57, 129, 23, 14, 0x50010000
  PUSHBUTTON "Add", 1020, 82, 129, 25, 14, 0x50010000
  CONTROL "TestBtn", 1004, "BUTTON", 0x5000000b, 117, 7, 40, 37
  PUSHBUTTON "Browse...", 1005, 165, 18, 50, 14, 0x50010000
  LTEXT "Text:", -1, 117, 54, 34, 8, 0x50020000
  EDITTEXT 1009, 153, 52, 102, 13, 0x50810080
  LTEXT "Action:", -1, 117, 72, 34, 8, 0x50020000
  EDITTEXT 1010, 153, 70, 102, 13, 0x50810080
  LTEXT "Location:", -1, 117, 90, 34, 8, 0x50020000
  EDITTEXT 1011, 153, 88, 102, 13, 0x50810080
  PUSHBUTTON "Browse...", 1006, 205, 105, 50, 14, 0x50010000
  PUSHBUTTON "Save", 1015, 149, 129, 50, 14, 0x50010000
  PUSHBUTTON "Cancel", 1016, 205, 129, 50, 14, 0x50010000
END
140 DIALOGEX 0, 0, 220, 130
STYLE 0x80c808c8
CAPTION "Add Toolbar Button"
FONT 8, "MS Shell Dlg", 400, 0, 1
BEGIN
  CONTROL "BtnTest", 1016, "BUTTON", 0x5000000b, 7, 7, 40, 37
  PUSHBUTTON "Browse..", 1015, 55, 18, 50, 14, 0x50010000
  LTEXT "Text:", -1, 7, 54, 34, 8, 0x50020000
  EDITTEXT 1011, 43, 52, 170, 13, 0x50810080
  LTEXT "Action:", -1, 7, 72, 34, 8, 0x50020000
  EDITTEXT 1012, 43, 70, 170, 13, 0x50810080
  LTEXT "Location:", -1, 7, 90, 34, 8, 0x50020000
  EDITTEXT 1013, 43, 88, 117, 13, 0x50810080
  PUSHBUTTON "Browse..", 1017, 163, 87, 50, 14, 0x50010000
  PUSHBUTTON "Add", 1004, 107, 109, 50, 14, 0x50010000
  PUSHBUTTON "Cancel", 1005, 163, 109, 50, 14, 0x50010000
END
147 DIALOGEX 0, 0, 262, 82
STYLE 0x80c808c8
CAPTION "Save Results"
FONT 8, "MS Shell Dlg", 400, 0, 1
BEGIN
  LTEXT "File Path:", -1, 7, 10, 36, 8, 0x50020000
  EDITTEXT 1008, 46, 8, 156, 13, 0x50810080
  PUSHBUTTON "Browse...", 1004, 205, 7, 50, 14, 0x50010000
  LTEXT "Format:", -1, 7, 29, 36, 8, 0x50020000
  EDITTEXT 1009, 46, 27, 209, 13, 0x50810080
  AUTOCHECKBOX "Save Selected Items Only", 1007, 46, 45, 130, 10, 0x50010003
  DEFPUSHBUTTON "Save", 1, 149, 61, 50, 14, 0x50010001
  PUSHBUTTON "Cancel", 2, 205, 61, 50, 14, 0x50010000
END
152 DIALOGEX 0, 0, 291, 153
STYLE 0x80c800c8
CAPTION "Welcome to Corvella"
FONT 8, "MS Shell Dlg", 400, 0, 1
BEGIN
  CONTROL "Welcome to Corvella!", 1023, 130, 0x50000080, 12, 10, 267, 10
  CONTROL "With Corvella you can instantly find files on your computer within few seconds.", 1028, 130, 0x50000080, 12, 26, 267, 18
  CONTROL "Tips:", 1029, 130, 0x50000080, 12, 50, 267, 9
  CONTROL "* You can start seaching after the search cache is built.", 1030, 130, 0x50000080, 20, 62, 259, 9
  CONTROL "* Building the cache usually takes only  1-5 minutes.", 1032, 130, 0x50000080, 20, 73, 259, 9
  CONTROL "* Search cache is built automatically when you run this program for the first time.", 1031, 130, 0x50000080, 20, 84, 259, 18
  CONTROL "* The search cache will be updated automatically after the building.", 1033, 130, 0x50000080, 20, 104, 259, 9
  DEFPUSHBUTTON "OK", 1, 229, 130, 50, 14, 0x50010001
END
156 DIALOGEX 0, 0, 268, 67
STYLE 0x80c800c8
CAPTION "About Corvella"
FONT 8, "MS Shell Dlg", 400, 0, 1
BEGIN
  CONTROL "Corvella Version 1.3.3", 1024, 130, 0x50000080, 30, 16, 180, 10
  ICON 160, -1, 228, 8, 0, 0, 0x50000003
  DEFPUSHBUTTON "OK", 1, 210, 46, 50, 14, 0x50010001
END
STRINGTABLE
BEGIN
  101, "&About Corvella ..."
END
EOF
# Styles above: dialog = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX |
# DS_SHELLFONT, extended WS_EX_APPWINDOW; combo boxes CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL |
# WS_TABSTOP; list LVS_REPORT | LVS_OWNERDATA | LVS_ALIGNLEFT | WS_BORDER | WS_TABSTOP; status
# ES_AUTOHSCROLL | ES_READONLY | WS_BORDER; tab control TCS_OWNERDRAWFIXED | WS_TABSTOP |
# WS_CLIPSIBLINGS | WS_CLIPCHILDREN; all of them WS_CHILD | WS_VISIBLE. The tab pages: WS_CHILD |
# DS_CONTROL | DS_SHELLFONT; check boxes BS_AUTOCHECKBOX | WS_TABSTOP; number edits ES_NUMBER |
# ES_AUTOHSCROLL | WS_BORDER | WS_DISABLED; up-down controls UDS_SETBUDDYINT | UDS_ALIGNRIGHT |
# UDS_AUTOBUDDY | UDS_ARROWKEYS | UDS_NOTHOUSANDS | WS_DISABLED; date pickers DTS_SHORTDATEFORMAT
# | WS_TABSTOP | WS_DISABLED; the kind list CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP. The welcome and about boxes: WS_POPUP | WS_CAPTION | WS_SYSMENU |
# DS_MODALFRAME | DS_SHELLFONT; their texts SS_LEFT | SS_NOPREFIX, icons SS_ICON.
# The save dialog: DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU |
# DS_SHELLFONT; its edits ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP.

failed=0
fail() {
    echo "check-resources: $*" >&2
    failed=1
}

for windres in "$@"; do
    res=$tmp/corvella.res
    if ! "$windres" -I "$here" -O res -o "$res" "$here/corvella.rc" 2>"$tmp/stderr"; then
        fail "$windres cannot compile corvella.rc:"
        cat "$tmp/stderr" >&2
        continue
    fi
    if [ -s "$tmp/stderr" ]; then
        fail "$windres warns about corvella.rc:"
        cat "$tmp/stderr" >&2
    fi
    "$windres" -J res -i "$res" -O rc >"$tmp/back.rc"

    # Menus, dialog and string table: every line from a resource header to its closing END.
    awk '
        /^[0-9]+ (MENU|DIALOGEX) / || /^STRINGTABLE/ { on = 1 }
        on { print }
        on && /^END$/ { on = 0 }
    ' "$tmp/back.rc" |
        sed -e 's/ MOVEABLE//; s/ PURE//; s/ DISCARDABLE//' >"$tmp/actual"
    if ! diff -u "$tmp/expected" "$tmp/actual" >"$tmp/diff"; then
        fail "$windres: menus, dialog or strings differ from what the program expects:"
        cat "$tmp/diff" >&2
    fi

    # Icon groups: 160, 161 and 167 each hold 16, 32 and 48 pixel images of 32 bits.
    for id in 160 161 167; do
        group=$(awk -v id="$id" '
            $0 ~ "^" id " 14 " { on = 1 }
            on { print }
            on && /^END$/ { exit }
        ' "$tmp/back.rc")
        [ -n "$group" ] || fail "$windres: icon $id is missing"
        for size in 020 040 060; do # 16, 32, 48 in octal
            printf "%s\n" "$group" | grep -q "\"\\\\$size\\\\$size\\\\000\\\\000\", 1, 32," ||
                fail "$windres: icon $id has no 32-bit image of $((0$size)) pixels"
        done
    done

    grep -q '^1 24 ' "$tmp/back.rc" || fail "$windres: the manifest (1 24) is missing"
    grep -q '^1 VERSIONINFO' "$tmp/back.rc" || fail "$windres: the version resource is missing"
    grep -q 'VALUE "OriginalFilename", "Corvella.exe"' "$tmp/back.rc" ||
        fail "$windres: the version resource does not name Corvella.exe"
done

# resource.h: no two names share a number (a command or control would answer for another), and
# the two ids that the resource script does not use have their fixed values. The controls of the
# save dialog, of the tab pages and of the quick-button editor live in windows of their own and
# keep the numbers those windows have always had.
awk '/^#define [A-Z0-9_]+ +[0-9]/ && $2 !~ /^IDC_(SAVE|PAGE|TB|ADD)_/ {
        v = $3
        n = (v ~ /^0x/) ? 0 : v + 0
        if (v ~ /^0x/) for (i = 3; i <= length(v); i++)
            n = n * 16 + index("0123456789abcdef", tolower(substr(v, i, 1))) - 1
        print n, $2
    }' "$here/resource.h" | sort -n >"$tmp/ids"
dups=$(awk '{ print $1 }' "$tmp/ids" | uniq -d)
[ -z "$dups" ] || fail "resource.h gives one number to several names: $(echo $dups)"
grep -qx '16 IDM_ABOUTBOX' "$tmp/ids" || fail "resource.h: IDM_ABOUTBOX is not 16"
grep -qx '1007 IDC_NO_ACTION' "$tmp/ids" || fail "resource.h: IDC_NO_ACTION is not 1007"

# The manifest: the settings the program depends on.
manifest=$here/corvella.manifest
for setting in \
    'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' \
    'publicKeyToken="6595b64144ccf1df"' \
    '<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true/pm</dpiAware>' \
    '>PerMonitorV2, PerMonitor</dpiAwareness>' \
    '>true</longPathAware>' \
    'level="asInvoker"' \
    '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'; do
    tr -s ' \n' ' ' <"$manifest" | grep -qF "$setting" || fail "corvella.manifest lacks $setting"
done

[ "$failed" -eq 0 ] && echo "check-resources: ok ($*)"
exit "$failed"
