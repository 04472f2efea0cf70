// Numeric ids of Corvella.exe's resources, controls and menu commands.
//
// Shared by the resource script (corvella.rc) and the C++ code, so it holds plain #defines only.
// The numbers are fixed: other code, saved settings and test drivers address these resources and
// commands by number.
#pragma once

// ---- Resources --------------------------------------------------------------------------------

#define IDD_ABOUTBOX 100  // dialog: the small about box, from the system menu
#define IDS_ABOUTBOX 101  // string: "&About Corvella ...", appended to the system menu
#define IDD_MAIN 102      // dialog: the main window
#define IDR_MAINMENU 130  // menu: the main window's menu bar
#define IDD_QUICK_BUTTONS 131  // dialog: the tab page "Quick Buttons"
#define IDD_SIZE_DATE 137      // dialog: the tab page "Size and Date"
#define IDD_ADVANCED 138       // dialog: the tab page "Advanced"
#define IDD_EDIT_TOOLBAR 139   // dialog: "Customize Toolbar", the quick-button editor
#define IDD_ADD_TB_BUTTON 140  // dialog: "Add Toolbar Button"
#define IDR_LISTMENU 142  // menu: "LISTMENU", right-click menu of the results list
#define IDR_TRAYMENU 144  // menu: "TRAYMENU", menu of the tray icon
#define IDD_WELCOME 152   // dialog: the welcome box of a first run
#define IDD_MYABOUT 156   // dialog: the about box of Help > About...
#define IDI_ABOUT 160     // icon: the about boxes
#define IDI_MORE 161      // icon: the overflow button of the quick-button bar
#define IDD_SAVE_RESULTS 147  // dialog: "Save Results"
#define IDI_PROGRAM 167   // icon: window, tray and minimised window

// ---- Controls of the main window (IDD_MAIN) ----------------------------------------------------

#define IDC_TABSHEET 1000  // tab control with the pages "Quick Buttons", "Size and Date", "Advanced"
#define IDC_RESULTS 1001   // list view: the search results
#define IDC_LOCATION 1003  // combo box: search location and its history
#define IDC_SEARCH 1004    // push button "Search"
#define IDC_NO_ACTION 1007 // command id the main window receives and deliberately ignores
#define IDC_STATUS 1008    // read-only edit: the status line
#define IDC_BROWSE 1015    // push button "Browse": folder picker for the location
#define IDC_PATTERN 1018   // combo box: search pattern and its history

// ---- Controls of the tab pages "Size and Date" (IDD_SIZE_DATE) and "Advanced" (IDD_ADVANCED) ---
// Numbers of the pages' own, which repeat the main window's (resources/check-resources.sh leaves
// IDC_PAGE_ names out of its one-number-one-name rule); the two pages share 1007.

#define IDC_PAGE_KIND 1002          // drop-down list: files and folders, files only, folders only
#define IDC_PAGE_NO_SUBDIRS 1007    // check box "No Subdirectories" (Advanced)
#define IDC_PAGE_MIN_CHECK 1007     // check box "Minimum Size(KB):" (Size and Date)
#define IDC_PAGE_MIN_EDIT 1008      // number edit: the minimum size in KB
#define IDC_PAGE_MIN_SPIN 1009      // up-down control of the minimum
#define IDC_PAGE_MAX_CHECK 1010     // check box "Maximum Size(KB):"
#define IDC_PAGE_MAX_EDIT 1011      // number edit: the maximum size in KB
#define IDC_PAGE_MAX_SPIN 1012      // up-down control of the maximum
#define IDC_PAGE_FROM_CHECK 1013    // check box "Date Modified From:"
#define IDC_PAGE_FROM_DATE 1014     // date picker: the first day
#define IDC_PAGE_TO_CHECK 1015      // check box "Date Modified To:"
#define IDC_PAGE_TO_DATE 1016       // date picker: the last day

// ---- Controls of "Customize Toolbar" (IDD_EDIT_TOOLBAR) and "Add Toolbar Button" (IDD_ADD_TB_BUTTON)
// Numbers of the dialogs' own, which repeat the main window's (resources/check-resources.sh leaves
// IDC_TB_ and IDC_ADD_ names out of its one-number-one-name rule).

#define IDC_TB_LIST 1001             // list box: one line per quick button, its label
#define IDC_TB_PREVIEW 1004          // the selected button as the bar draws it
#define IDC_TB_ICON_BROWSE 1005      // push button "Browse...": the icon file
#define IDC_TB_LOCATION_BROWSE 1006  // push button "Browse...": the location
#define IDC_TB_TEXT 1009             // edit "Text": the label
#define IDC_TB_ACTION 1010           // edit "Action": the pattern
#define IDC_TB_LOCATION 1011         // edit "Location"
#define IDC_TB_SAVE 1015             // push button "Save"
#define IDC_TB_CANCEL 1016           // push button "Cancel"
#define IDC_TB_UP 1017               // push button "Up"
#define IDC_TB_DOWN 1018             // push button "Down"
#define IDC_TB_DEL 1019              // push button "Del"
#define IDC_TB_ADD 1020              // push button "Add": opens "Add Toolbar Button"

#define IDC_ADD_ADD 1004              // push button "Add"
#define IDC_ADD_CANCEL 1005           // push button "Cancel"
#define IDC_ADD_TEXT 1011             // edit "Text": the label
#define IDC_ADD_ACTION 1012           // edit "Action": the pattern
#define IDC_ADD_LOCATION 1013         // edit "Location"
#define IDC_ADD_ICON_BROWSE 1015      // push button "Browse..": the icon file
#define IDC_ADD_PREVIEW 1016          // the new button as the bar will draw it
#define IDC_ADD_LOCATION_BROWSE 1017  // push button "Browse..": the location

// ---- Controls of the welcome and about boxes ---------------------------------------------------

#define IDC_WELCOME_TITLE 1023        // the welcome line, bold
#define IDC_ABOUT_VERSION 1024        // "Corvella Version ..." of the Help about box
#define IDC_WELCOME_INTRO 1028        // what the program does
#define IDC_WELCOME_TIPS 1029         // "Tips:"
#define IDC_WELCOME_TIP_WAIT 1030     // searches wait for the cache, red
#define IDC_WELCOME_TIP_FIRST 1031    // the cache is built on the first run
#define IDC_WELCOME_TIP_TIME 1032     // how long a build takes
#define IDC_WELCOME_TIP_UPDATES 1033  // the cache is kept current

// ---- Controls of "Save Results" (IDD_SAVE_RESULTS) ------------------------------------------------
// Numbers of that dialog's own, which may repeat the main window's (resources/check-resources.sh
// leaves IDC_SAVE_ names out of its one-number-one-name rule).

#define IDC_SAVE_BROWSE 1004    // push button "Browse...": the save-file picker
#define IDC_SAVE_SELECTED 1007  // check box "Save Selected Items Only"
#define IDC_SAVE_PATH 1008      // edit: the file path
#define IDC_SAVE_FORMAT 1009    // edit: the line format

// ---- System menu ------------------------------------------------------------------------------

// "&About Corvella ..." on the window's system menu. System-menu ids must have their low four
// bits clear, and WM_SYSCOMMAND handlers compare (id & 0xFFF0) with it.
#define IDM_ABOUTBOX 0x0010

// ---- Main menu (IDR_MAINMENU) -----------------------------------------------------------------

// File
#define ID_FILE_SAVE_RESULTS 32773  // "Save Results As.."
#define ID_FILE_SAVE_CACHE 32785    // "Save Cache File As..."
#define ID_FILE_LOAD_CACHE 32821    // "Load Cache File..."
#define ID_FILE_EXIT 32771          // "Exit"

// Edit
#define ID_EDIT_SELECT_ALL 32794  // "Select All"

// View > "Arrange Results By"
#define ID_ARRANGE_NAME 32776      // "Name"
#define ID_ARRANGE_LOCATION 32777  // "Location"
#define ID_ARRANGE_SIZE 32778      // "Size"
#define ID_ARRANGE_TYPE 32779      // "Type"
#define ID_ARRANGE_DATE 32782      // "Date Modified"
// View
#define ID_VIEW_REFRESH 32786  // "Refresh"

// Tools
#define ID_TOOLS_CUSTOMIZE_TOOLBAR 32783  // "Customize Toolbar"
#define ID_TOOLS_UPDATE_CACHE 32791       // "Update Search Cache"
// Tools > "Tools"
#define ID_TOOLS_CLEAN_SEARCH_HISTORY 32829    // "Clean Search History"
#define ID_TOOLS_CLEAN_LOCATION_HISTORY 32830  // "Clean Location History"
#define ID_TOOLS_DEFRAG_CACHE 32792            // "Defrag Cache File"
// Tools > "Options"; each option has a twin in the tray menu, and both carry the same check mark
#define ID_OPTIONS_WATCHKEEPER 32793          // "Watchkeeper" (starts checked)
#define ID_OPTIONS_START_WITH_WINDOWS 32815   // "Start With Windows"
#define ID_OPTIONS_CHECK_INTEGRITY 32839      // "Check Cache Integrity"
#define ID_OPTIONS_MESSAGE_DIALOGS 32842      // "Enable Message Dialogs" (starts checked)

// Help
#define ID_HELP_CONTENT 32788  // "Content..."
#define ID_HELP_ABOUT 32772    // "About..."

// ---- Tray menu (IDR_TRAYMENU, popup "TRAYMENU") ------------------------------------------------

#define ID_TRAY_OPEN 32813          // "Open Main Window"
#define ID_TRAY_UPDATE_CACHE 32818  // "Update Search Cache"
// "Options"
#define ID_TRAY_WATCHKEEPER 32828         // "Watchkeeper" (starts checked)
#define ID_TRAY_START_WITH_WINDOWS 32825  // "Start With Windows"
#define ID_TRAY_CHECK_INTEGRITY 32838     // "Check Cache Integrity"
#define ID_TRAY_MESSAGE_DIALOGS 32844     // "Enable Message Dialogs" (starts checked)
#define ID_TRAY_EXIT 32814                // "Exit"

// ---- Results list menu (IDR_LISTMENU, popup "LISTMENU") ----------------------------------------

// The program inserts the "Explorer Action" submenu at position 0 when it shows the menu; the
// shell's own commands in it have ids 1 to 10000, so every id here must stay above 10000.
#define ID_LIST_SEARCH_SAME_FOLDER 32812  // "Search In Same Folder"
#define ID_LIST_SEARCH_THIS_FOLDER 32833  // "Search In This Folder"
#define ID_LIST_OPEN 32797                // "Open"
#define ID_LIST_BROWSE_FILE 32808         // "Browse File"
#define ID_LIST_BROWSE_FOLDER 32799       // "Browse Folder"
#define ID_LIST_COMMAND_PROMPT 32800      // "Open Command Prompt"
#define ID_LIST_COPY_FILE_PATH 32809      // "Copy File Path"
#define ID_LIST_COPY_FOLDER_PATH 32811    // "Copy Folder Path"
#define ID_LIST_COPY 32805                // "Copy"
#define ID_LIST_DELETE 32803              // "Delete"
