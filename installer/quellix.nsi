; QuellixSetup.exe: puts Quellix in its place, registers its monitor control, adds the
; Start-menu shortcut and the Add/Remove Programs entry, and writes the uninstaller that
; takes all of it away again.
;
; An administrator installs for every user of the computer: the files under Program Files,
; the control registered for the machine, the entry under HKLM. Anyone else installs for
; themselves alone: the files under their local application data, the control registered
; in their own classes (regsvr32 /n /i:user), the entry under HKCU.
;
; Command line, for the setup: /S silent; /AllUsers or /CurrentUser choose the kind of
; installation instead of the account's rights; /D=folder the folder (last, unquoted).
; For the uninstaller: /S silent, which keeps the user's allow list.
;
; Built by installer/CMakeLists.txt:
;   makensis -DVERSION=1.0.0 -DVERSION_TEXT=1.00.0000 -DBIN_DIR=... -DICON=... -DOUT_FILE=... quellix.nsi

!ifndef VERSION | VERSION_TEXT | BIN_DIR | ICON | OUT_FILE
  !error "VERSION, VERSION_TEXT, BIN_DIR, ICON and OUT_FILE are given by the build"
!endif

Unicode true
SetCompressor /SOLID lzma
ManifestDPIAware true
; Administrators are asked to elevate; other users go on without.
RequestExecutionLevel highest

!define PRODUCT "Quellix"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quellix"
!define SETTINGS_KEY "Software\Quellix"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; The browser's toolbar button (shell/toolbar.h); the program writes it, only the
; uninstaller removes it.
!define TOOLBAR_KEY "Software\Microsoft\Internet Explorer\Extensions\{6D3C5B1E-8A47-4F2C-B9E0-3F1A7C52D4E8}"
; The main window's class, and its Exit command (IDM_EXIT in shell/resource.h).
!define MAIN_WINDOW_CLASS "NoZirOd"
!define IDM_EXIT 313
!define SYNCHRONIZE 0x00100000

Name "${PRODUCT}"
OutFile "${OUT_FILE}"
BrandingText "${PRODUCT} ${VERSION}"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh

; "AllUsers" or "CurrentUser", and the shell folders and SHCTX registry root to match.
Var Mode

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT} now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartProgram
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION_TEXT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "InternalName" "QuellixSetup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "OriginalFilename" "QuellixSetup.exe"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION_TEXT}"

; --- Shared by the setup and the uninstaller --------------------------------------------------

!macro SET_MODE MODE
  StrCpy $Mode ${MODE}
  ${If} $Mode == "AllUsers"
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
!macroend

; Asks every running copy to quit as its Exit command does, so that it saves the allow list,
; writes or removes its run-at-log-on value and takes its icon out of the notification area,
; then waits for its process to end: until then norvane.exe cannot be replaced or deleted.
; The window is found even when hidden. Sets the error flag when a copy would not go.
!macro QUIT_RUNNING_COPY UN
Function ${UN}QuitRunningCopy
  Push $0
  Push $1
  Push $2
  Push $3
  ClearErrors
  StrCpy $3 0
  ${Do}
    FindWindow $0 "${MAIN_WINDOW_CLASS}"
    ${If} $0 = 0
      ${Break}
    ${EndIf}
    ${If} $3 >= 3
      SetErrors
      ${Break}
    ${EndIf}
    IntOp $3 $3 + 1
    DetailPrint "Closing the running ${PRODUCT}"
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1)'
    System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p .r2'
    System::Call 'user32::PostMessageW(p r0, i ${WM_COMMAND}, p ${IDM_EXIT}, p 0)'
    ${If} $2 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i 15000) i'
      System::Call 'kernel32::CloseHandle(p r2)'
    ${Else}
      ; No handle to wait on: wait for the window instead.
      ${For} $1 1 150
        Sleep 100
        System::Call 'user32::IsWindow(p r0) i .r2'
        ${If} $2 = 0
          ${Break}
        ${EndIf}
      ${Next}
    ${EndIf}
  ${Loop}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro QUIT_RUNNING_COPY ""
!insertmacro QUIT_RUNNING_COPY "un."

; Quits the running copies; if one stays, lets the user retry or give up.
!macro QUIT_OR_ABORT UN
  ${Do}
    Call ${UN}QuitRunningCopy
    ${IfNot} ${Errors}
      ${Break}
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "${PRODUCT} is still running and does not close. Quit it from its icon in the notification area, then choose Retry." \
      /SD IDCANCEL IDRETRY retry
    Abort
  retry:
  ${Loop}
!macroend

; --- Setup --------------------------------------------------------------------------------------

Function .onInit
  ${GetParameters} $R0
  UserInfo::GetAccountType
  Pop $R1
  ClearErrors
  ${GetOptions} $R0 "/CurrentUser" $R2
  ${IfNot} ${Errors}
    !insertmacro SET_MODE "CurrentUser"
  ${Else}
    ClearErrors
    ${GetOptions} $R0 "/AllUsers" $R2
    ${If} ${Errors}
    ${AndIf} $R1 != "Admin"
      !insertmacro SET_MODE "CurrentUser"
    ${ElseIf} $R1 == "Admin"
      !insertmacro SET_MODE "AllUsers"
    ${Else}
      MessageBox MB_OK|MB_ICONSTOP "Installing ${PRODUCT} for all users needs administrator rights." /SD IDOK
      SetErrorLevel 740  ; ERROR_ELEVATION_REQUIRED
      Quit
    ${EndIf}
  ${EndIf}

  ; /D= wins; then the folder of an earlier installation of the same kind; then the default.
  ${If} $INSTDIR == ""
    ReadRegStr $INSTDIR SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${EndIf}
  ${If} $INSTDIR == ""
    ${If} $Mode == "AllUsers"
      StrCpy $INSTDIR "$PROGRAMFILES\${PRODUCT}"
    ${Else}
      StrCpy $INSTDIR "$LOCALAPPDATA\${PRODUCT}"
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "-Quellix"
  !insertmacro QUIT_OR_ABORT ""

  SetOutPath "$INSTDIR"
  File "${BIN_DIR}/norvane.exe"
  File "${BIN_DIR}/tessaly.ocx"
  File "${BIN_DIR}/1.ico"
  File "${BIN_DIR}/4.ico"
  File "${BIN_DIR}/quellix.html"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The 32-bit regsvr32 (System32 is SysWOW64 to this 32-bit setup on 64-bit Windows).
  DetailPrint "Registering the monitor control"
  ${If} $Mode == "AllUsers"
    ExecWait '"$SYSDIR\regsvr32.exe" /s "$INSTDIR\tessaly.ocx"' $0
  ${Else}
    ExecWait '"$SYSDIR\regsvr32.exe" /s /n /i:user "$INSTDIR\tessaly.ocx"' $0
  ${EndIf}
  ${If} $0 != 0
    ; Not fatal: norvane.exe registers the control for its user when it finds it missing.
    DetailPrint "regsvr32 tessaly.ocx failed ($0)"
    MessageBox MB_OK|MB_ICONEXCLAMATION \
      "The monitor control tessaly.ocx could not be registered (regsvr32 ended with $0). ${PRODUCT} will try again when it starts." \
      /SD IDOK
  ${EndIf}

  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\norvane.exe" "" "$INSTDIR\norvane.exe" 0 \
    SW_SHOWNORMAL "" "Blocks the windows that web pages open without asking"

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\norvane.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Function StartProgram
  ${If} $Mode == "AllUsers"
    ; This setup runs elevated; started through the shell the program runs as the user
    ; who is logged on, with the user's own rights and settings.
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\norvane.exe"'
  ${Else}
    Exec '"$INSTDIR\norvane.exe"'
  ${EndIf}
FunctionEnd

; --- Uninstaller --------------------------------------------------------------------------------

Function un.onInit
  ; The entry that points at this folder tells which kind of installation this is.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $1 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    !insertmacro SET_MODE "AllUsers"
  ${ElseIf} $1 == $INSTDIR
    !insertmacro SET_MODE "CurrentUser"
  ${Else}
    ; No entry (removed by hand): a folder in the user's own data is a per-user one.
    SetShellVarContext current
    StrLen $2 "$LOCALAPPDATA"
    StrCpy $3 "$INSTDIR" $2
    ${If} $3 == "$LOCALAPPDATA"
      !insertmacro SET_MODE "CurrentUser"
    ${Else}
      !insertmacro SET_MODE "AllUsers"
    ${EndIf}
  ${EndIf}

  ${If} $Mode == "AllUsers"
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "Admin"
      MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} is installed for all users: only an administrator can remove it." /SD IDOK
      SetErrorLevel 740  ; ERROR_ELEVATION_REQUIRED
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ; First, so that the run-at-log-on value the program writes on its way out is removed below.
  !insertmacro QUIT_OR_ABORT "un."

  ; The control may be registered for the machine and, by the program itself when it found
  ; it missing, for this user as well: both registrations go.
  DetailPrint "Unregistering the monitor control"
  ${If} $Mode == "AllUsers"
    ExecWait '"$SYSDIR\regsvr32.exe" /s /u "$INSTDIR\tessaly.ocx"'
  ${EndIf}
  ExecWait '"$SYSDIR\regsvr32.exe" /s /u /n /i:user "$INSTDIR\tessaly.ocx"'

  Delete "$INSTDIR\norvane.exe"
  Delete "$INSTDIR\tessaly.ocx"
  Delete "$INSTDIR\1.ico"
  Delete "$INSTDIR\4.ico"
  Delete "$INSTDIR\quellix.html"
  Delete "$INSTDIR\uninstall.exe"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"

  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${TOOLBAR_KEY}"  ; refused to a user without administrator rights
  DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
  DeleteRegKey HKCU "${SETTINGS_KEY}"

  ; The allow list is the user's own work. It lies beside the program, or, where that folder
  ; is read-only to the user, in the user's local application data. Kept in silent mode.
  SetShellVarContext current
  StrCpy $1 "$LOCALAPPDATA\${PRODUCT}"
  !insertmacro SET_MODE $Mode
  ${If} ${FileExists} "$INSTDIR\Allow.txt"
  ${OrIf} ${FileExists} "$1\Allow.txt"
    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
      "Delete your allow list too?$\n$\nChoose No to keep it for a later installation of ${PRODUCT}." \
      /SD IDNO IDNO keep
    Delete "$INSTDIR\Allow.txt"
    Delete "$1\Allow.txt"
  keep:
  ${EndIf}
  ; Only when empty: a kept allow list keeps its folder.
  RMDir "$1"
  RMDir "$INSTDIR"
SectionEnd
