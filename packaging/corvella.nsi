; The Windows setup program: installs Corvella for the current user, without elevation, and
; writes an uninstaller.
;
; makensis -DVERSION=0.4.0 -DARCH=win64|win32 -DBUILD=<the preset's src folder>
;          -DSOURCE=<the source tree> -DOUTFILE=<setup program> packaging/corvella.nsi
;
; What it leaves where:
;   $LOCALAPPDATA\Programs\Corvella   the programs, help page, icons and the shipped settings.ini
;                                     (a first start of another user makes that user's data folder
;                                     from it), and uninstall.exe
;   $APPDATA\Corvella Data            the installing user's data folder; settings.ini is put there
;                                     only when the user has none, so an upgrade keeps the user's
;                                     settings, state and cache
;   Start menu (and, when chosen, the desktop): a shortcut to Corvella.exe
;   HKCU ...\Uninstall\Corvella       the "Apps & features" entry
;
; A running Corvella maps its cache and holds its program file open, so both programs ask it to
; exit first, through its main window (a dialog titled "Corvella"). The uninstaller keeps the
; data folder unless "Remove my search cache and settings" is ticked on a page of its own
; (silently: /REMOVEDATA).
; Both run silently with /S.

Unicode true
!if "${ARCH}" == "win64"
  Target amd64-unicode
!endif
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WinMessages.nsh"
!include "nsDialogs.nsh"

!define PRODUCT "Corvella"
!define PUBLISHER "The Corvella developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Corvella"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define DATA_FOLDER "$APPDATA\Corvella Data"

Var RemoveData     ; 1: the uninstaller removes the data folder too
Var RemoveDataBox

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Corvella"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails nevershow
ShowUninstDetails nevershow
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${SOURCE}\resources\icons\corvella.ico"
!define MUI_UNICON "${SOURCE}\resources\icons\corvella.ico"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "This will install ${PRODUCT} ${VERSION}, instant file-name search, for you alone: no administrator rights are needed.$\r$\n$\r$\nIf ${PRODUCT} is running it will be asked to exit first. Your settings and your search cache are kept.$\r$\n$\r$\nClick Next to continue."
!define MUI_FINISHPAGE_RUN "$INSTDIR\Corvella.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT} now"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

UninstPage custom un.DataPage un.DataPageLeave
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; Asks a running Corvella to exit and waits until it has: its main window and its message boxes
; are dialogs titled "Corvella" (the setup's own windows carry the version in their titles). A
; close request reaches the main window as the whole exit sequence, without a question; a box
; that is open is closed first, as if answered No. Then its program file must be free, which
; is when its process has ended.
!macro CLOSE_CORVELLA un
Function ${un}CloseCorvella
  Push $0
  Push $1
  StrCpy $1 0
  ${Do}
    FindWindow $0 "#32770" "Corvella"
    ${If} $0 == 0
      ${Break}
    ${EndIf}
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=2000
    Sleep 200
    IntOp $1 $1 + 1
  ${LoopUntil} $1 >= 100
  StrCpy $1 0
  ${DoWhile} ${FileExists} "$INSTDIR\Corvella.exe"
    ClearErrors
    FileOpen $0 "$INSTDIR\Corvella.exe" a
    ${IfNot} ${Errors}
      FileClose $0
      ${Break}
    ${EndIf}
    Sleep 200
    IntOp $1 $1 + 1
    ${If} $1 >= 100
      ${Break}
    ${EndIf}
  ${Loop}
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro CLOSE_CORVELLA ""
!insertmacro CLOSE_CORVELLA "un."

Section "Corvella" SecProgram
  SectionIn RO
  Call CloseCorvella

  SetOutPath "$INSTDIR"
  File "${BUILD}\Corvella.exe"
  File "${BUILD}\corvella-cli.exe"
  File "${BUILD}\help.html"
  File "${BUILD}\settings.ini"
  SetOutPath "$INSTDIR\icons"
  File "${SOURCE}\resources\icons\corvella.ico"
  File "${SOURCE}\resources\icons\default.ico"
  File "${SOURCE}\resources\icons\documents.ico"
  File "${SOURCE}\resources\icons\pictures.ico"
  File "${SOURCE}\resources\icons\music.ico"
  File "${SOURCE}\resources\icons\videos.ico"

  ; The installing user's data folder; a user's own settings are never replaced.
  CreateDirectory "${DATA_FOLDER}"
  ${IfNot} ${FileExists} "${DATA_FOLDER}\settings.ini"
    CopyFiles /SILENT "$INSTDIR\settings.ini" "${DATA_FOLDER}\settings.ini"
  ${EndIf}

  ; Shortcuts start in the program's folder, as the program expects.
  SetOutPath "$INSTDIR"
  CreateShortCut "$SMPROGRAMS\Corvella.lnk" "$INSTDIR\Corvella.exe" "" "$INSTDIR\Corvella.exe" 0

  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Corvella.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section /o "Desktop shortcut" SecDesktop
  SetOutPath "$INSTDIR"
  CreateShortCut "$DESKTOP\Corvella.lnk" "$INSTDIR\Corvella.exe" "" "$INSTDIR\Corvella.exe" 0
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "Corvella, its command line corvella-cli and its help page."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecDesktop} "A shortcut to Corvella on your desktop."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Section "un.Corvella"
  Call un.CloseCorvella

  Delete "$INSTDIR\Corvella.exe"
  Delete "$INSTDIR\corvella-cli.exe"
  Delete "$INSTDIR\help.html"
  Delete "$INSTDIR\settings.ini"
  Delete "$INSTDIR\icons\corvella.ico"
  Delete "$INSTDIR\icons\default.ico"
  Delete "$INSTDIR\icons\documents.ico"
  Delete "$INSTDIR\icons\pictures.ico"
  Delete "$INSTDIR\icons\music.ico"
  Delete "$INSTDIR\icons\videos.ico"
  RMDir "$INSTDIR\icons"
  Delete "$INSTDIR\uninstall.exe"
  ; Only what was installed goes: a folder the user chose keeps anything else in it.
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\Corvella.lnk"
  Delete "$DESKTOP\Corvella.lnk"
  DeleteRegValue HKCU "${RUN_KEY}" "Corvella"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"

  ${If} $RemoveData == 1
    RMDir /r "${DATA_FOLDER}"
  ${EndIf}
SectionEnd

; The user's data goes only when asked for: the box on its page, or /REMOVEDATA.
Function un.onInit
  StrCpy $RemoveData 0
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVEDATA" $1
  ${IfNot} ${Errors}
    StrCpy $RemoveData 1
  ${EndIf}
FunctionEnd

Function un.DataPage
  !insertmacro MUI_HEADER_TEXT "Your Data" "Choose whether your settings and search cache go as well."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 40u "Your settings, search histories and search cache are in$\r$\n${DATA_FOLDER}.$\r$\n$\r$\nThey are kept, so that a later installation finds them again, unless you tick the box below."
  Pop $0
  ${NSD_CreateCheckbox} 0 50u 100% 12u "Remove my search cache and settings"
  Pop $RemoveDataBox
  ${If} $RemoveData == 1
    ${NSD_Check} $RemoveDataBox
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function un.DataPageLeave
  ${NSD_GetState} $RemoveDataBox $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $RemoveData 1
  ${Else}
    StrCpy $RemoveData 0
  ${EndIf}
FunctionEnd
