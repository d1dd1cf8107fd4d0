; The uninstaller of QuellixSetup.exe: included by quellix.nsi, whose definitions, macros
; and variables it uses.

Function un.onInit
  ; Started by an uninstaller that ran in place (below) to remove that uninstaller's file,
  ; which cannot go while it runs, once it has ended.
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/RemoveAfter=" $R1
  ${IfNot} ${Errors}
    System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i $R1) p .r2'
    ${If} $2 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i 30000) i'
      System::Call 'kernel32::CloseHandle(p r2)'
    ${EndIf}
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    Delete /REBOOTOK "$EXEPATH"
    Quit
  ${EndIf}

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

; Whether the list file named on the stack holds nothing: no file, no bytes, or only the
; byte-order mark the program writes in front of an empty list in UTF-8 or UTF-16.
Function un.IsEmptyList
  Exch $0
  Push $1
  Push $2
  Push $3
  Push $4
  StrCpy $1 1
  ClearErrors
  FileOpen $2 "$0" r
  ${IfNot} ${Errors}
    FileSeek $2 0 END $3
    ${If} $3 > 3
      StrCpy $1 0
    ${ElseIf} $3 > 0
      FileSeek $2 0 SET
      StrCpy $4 ""
      ${For} $1 1 $3
        FileReadByte $2 $0
        StrCpy $4 "$4$0,"
      ${Next}
      StrCpy $1 0
      ${If} $4 == "255,254,"
      ${OrIf} $4 == "254,255,"
      ${OrIf} $4 == "239,187,191,"
        StrCpy $1 1
      ${EndIf}
    ${EndIf}
    FileClose $2
  ${EndIf}
  StrCpy $0 $1
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; An empty list goes; one that holds entries is counted in $R9.
!macro DROP_IF_EMPTY FILE
  Push "${FILE}"
  Call un.IsEmptyList
  Pop $R8
  ${If} $R8 == 1
    Delete "${FILE}"
  ${Else}
    IntOp $R9 $R9 + 1
  ${EndIf}
  Delete "${FILE}.new"
!macroend

Section "Uninstall"
  ; First, so that the run-at-log-on value the program writes on its way out is removed below.
  !insertmacro QUIT_OR_ABORT "un."

  ; The control is registered for the machine by an installation for all users, and may be
  ; for this user too, by an earlier version of the program: both registrations go.
  DetailPrint "Unregistering the monitor control"
  ${If} $Mode == "AllUsers"
    ExecWait '"$SYSDIR\regsvr32.exe" /s /u "$INSTDIR\tessaly.ocx"'
    DeleteRegKey HKLM "${KILL_BIT_KEY}"
  ${EndIf}
  ExecWait '"$SYSDIR\regsvr32.exe" /s /u /n /i:user "$INSTDIR\tessaly.ocx"'

  Delete "$INSTDIR\norvane.exe"
  Delete "$INSTDIR\tessaly.ocx"
  Delete "$INSTDIR\1.ico"
  Delete "$INSTDIR\4.ico"
  Delete "$INSTDIR\quellix.html"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"

  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${TOOLBAR_KEY}"  ; refused to a user without administrator rights
  DeleteRegKey HKCU "${TOOLBAR_KEY}"
  DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
  DeleteRegKey HKCU "${SETTINGS_KEY}"

  ; The lists are the user's own work. They lie beside the program, or, where that folder
  ; is read-only to the user, in the user's local application data. Empty ones simply go;
  ; for the others the user is asked, and silent mode keeps them.
  SetShellVarContext current
  StrCpy $1 "$LOCALAPPDATA\${PRODUCT}"
  !insertmacro SET_MODE $Mode
  StrCpy $R9 0
  !insertmacro DROP_IF_EMPTY "$INSTDIR\Allow.txt"
  !insertmacro DROP_IF_EMPTY "$1\Allow.txt"
  !insertmacro DROP_IF_EMPTY "$INSTDIR\Sites.txt"
  !insertmacro DROP_IF_EMPTY "$1\Sites.txt"
  ${If} $R9 > 0
    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
      "Delete your allow list and allowed sites too?$\n$\nChoose No to keep them for a later installation of ${PRODUCT}." \
      /SD IDNO IDNO keep
    Delete "$INSTDIR\Allow.txt"
    Delete "$1\Allow.txt"
    Delete "$INSTDIR\Sites.txt"
    Delete "$1\Sites.txt"
  keep:
  ${EndIf}
  ; What a per-user list took in from the program's folder goes with that list.
  ${IfNot} ${FileExists} "$1\Allow.txt"
    Delete "$1\Allow.taken.txt"
  ${EndIf}
  ${IfNot} ${FileExists} "$1\Sites.txt"
    Delete "$1\Sites.taken.txt"
  ${EndIf}

  ; Only when empty: a kept list keeps its folder. Not the folder this process stands in.
  SetOutPath "$TEMP"
  RMDir "$1"
  ; Started in place (with _?=, as the Add/Remove Programs entry starts it, so that its
  ; caller can wait for it) the uninstaller holds its own file open until it ends: a copy
  ; of it in the temporary folder removes that file, and the folder, the moment it has.
  ; Started otherwise it runs from such a copy already, and its file is free.
  ${If} $EXEDIR == $INSTDIR
    System::Call 'kernel32::GetCurrentProcessId() i .r0'
    CopyFiles /SILENT "$EXEPATH" "$TEMP\${PRODUCT}-uninstall.exe"
    Exec '"$TEMP\${PRODUCT}-uninstall.exe" /S /RemoveAfter=$0 _?=$INSTDIR'
  ${Else}
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
  ${EndIf}
SectionEnd
