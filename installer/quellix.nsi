; QuellixSetup.exe: puts Quellix in its place, registers its monitor control, adds the
; Start-menu shortcut and the Add/Remove Programs entry, and writes the uninstaller that
; takes all of it away again.
;
; An administrator installs for every user of the computer: the files under Program Files,
; the control registered for the machine (for other programs that host it: Quellix finds
; its control through its own manifest), the entry under HKLM. Anyone else installs for
; themselves alone: the files under their local application data, the entry under HKCU,
; and nothing registered at all.
;
; Command line, for the setup: /S silent; /AllUsers or /CurrentUser choose the kind of
; installation instead of the account's rights; /D=folder the folder (last, unquoted).
; For the uninstaller: /S silent, which keeps the user's lists unless they are empty. The
; Add/Remove Programs entry starts it with _?=folder, so that it runs where it is and
; whoever started it (a script too) can wait for it to finish.
;
; Built by installer/CMakeLists.txt:
;   makensis -DVERSION=1.0.0 -DVERSION_TEXT=1.00.0000 -DBIN_DIR=... -DICON=... -DOUT_FILE=... quellix.nsi
; and, for the files of the 64-bit build, with -DWIN64: then the setup and its uninstaller
; are 64-bit programs themselves, and so put the files in the 64-bit Program Files, register
; the 64-bit control with the 64-bit regsvr32 and write the registry's 64-bit view, which is
; where 64-bit programs (a 64-bit browser among them) look.

!ifndef VERSION | VERSION_TEXT | BIN_DIR | ICON | OUT_FILE
  !error "VERSION, VERSION_TEXT, BIN_DIR, ICON and OUT_FILE are given by the build"
!endif

Unicode true
!ifdef WIN64
  Target amd64-unicode
  !define PROGRAM_FILES "$PROGRAMFILES64"
!else
  !define PROGRAM_FILES "$PROGRAMFILES"
!endif
SetCompressor /SOLID lzma
ManifestDPIAware true
; Administrators are asked to elevate; other users go on without.
RequestExecutionLevel highest

!define PRODUCT "Quellix"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quellix"
!define SETTINGS_KEY "Software\Quellix"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; The browser's toolbar button (shell/toolbar.h), under HKLM or, for a user without
; administrator rights, HKCU; the program writes it, only the uninstaller removes it.
!define TOOLBAR_KEY "Software\Microsoft\Internet Explorer\Extensions\{6D3C5B1E-8A47-4F2C-B9E0-3F1A7C52D4E8}"
; The browser's kill bit for the monitor control: the control hands its host every browser's
; addresses and events, and no web page may load it. Only the browser reads the key, in the
; view of the setup's own bitness, which is the control's: a browser of the other bitness
; cannot load it anyway. The control is registered for the machine only by an installation
; for all users, which alone sets it.
!define CONTROL_CLSID "{FC63E66E-7C55-4B1C-B8E7-8F9CDC03469F}"
!define KILL_BIT_KEY "Software\Microsoft\Internet Explorer\ActiveX Compatibility\${CONTROL_CLSID}"
!define KILL_BIT 0x400
; The main window's class, and the message that asks the program to quit as its Exit
; command does (kQuitMessage in shell/single_instance_win.h).
!define MAIN_WINDOW_CLASS "NoZirOd"
!define QUIT_MESSAGE "Quellix.Quit"
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
; What the welcome page says of the kind of installation, and how to choose the other.
Var ModeText

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!define MUI_WELCOMEPAGE_TEXT "Setup will install $(^NameDA) $ModeText$\r$\n$\r$\n$_CLICK"
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
  Push $4
  ClearErrors
  StrCpy $3 0
  System::Call 'user32::RegisterWindowMessageW(w "${QUIT_MESSAGE}") i .r4'
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
    System::Call 'user32::PostMessageW(p r0, i r4, p 0, p 0)'
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
  Pop $4
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

  ${If} $Mode == "AllUsers"
    StrCpy $ModeText "for every user of this computer.$\r$\n$\r$\nTo install it for yourself alone, without administrator rights, start QuellixSetup.exe with /CurrentUser."
  ${ElseIf} $R1 == "Admin"
    StrCpy $ModeText "for you alone: other users of this computer will not have it.$\r$\n$\r$\nTo install it for every user, start QuellixSetup.exe without /CurrentUser."
  ${Else}
    StrCpy $ModeText "for you alone: other users of this computer will not have it.$\r$\n$\r$\nTo install it for every user, start QuellixSetup.exe as an administrator (right-click it, Run as administrator)."
  ${EndIf}

  ; /D= wins; then the folder of an earlier installation of the same kind; then the default.
  ${If} $INSTDIR == ""
    ReadRegStr $INSTDIR SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${EndIf}
  ${If} $INSTDIR == ""
    ${If} $Mode == "AllUsers"
      StrCpy $INSTDIR "${PROGRAM_FILES}\${PRODUCT}"
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

  ; Earlier versions of the program registered the control for their user wherever they
  ; ran from; such an entry would take precedence over the machine's for that user.
  ; (The regsvr32 of the setup's bitness, which is the control's: System32 is SysWOW64 to
  ; the 32-bit setup on 64-bit Windows.)
  ExecWait '"$SYSDIR\regsvr32.exe" /s /u /n /i:user "$INSTDIR\tessaly.ocx"'
  ${If} $Mode == "AllUsers"
    ; For other programs that host the control; Quellix itself does not need it.
    DetailPrint "Registering the monitor control"
    ExecWait '"$SYSDIR\regsvr32.exe" /s "$INSTDIR\tessaly.ocx"' $0
    ${If} $0 != 0
      DetailPrint "regsvr32 tessaly.ocx failed ($0); Quellix runs all the same"
    ${EndIf}
    WriteRegDWORD HKLM "${KILL_BIT_KEY}" "Compatibility Flags" ${KILL_BIT}
  ${EndIf}

  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\norvane.exe" "" "$INSTDIR\norvane.exe" 0 \
    SW_SHOWNORMAL "" "Blocks the windows that web pages open without asking"

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\norvane.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" _?=$INSTDIR'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
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

!include "${__FILEDIR__}/uninstall.nsh"
