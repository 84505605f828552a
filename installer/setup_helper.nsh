; QvPushSetupHelper.exe travels inside the installer and the uninstaller: it
; checks and protects the install folder, stops a running copy before files
; are replaced or removed, and starts the daemon as the desktop user.
;
; It runs from the stage: a folder made fresh below one that only
; administrators and SYSTEM can change (Windows' SystemTemp where there is
; one, else SYSTEM's own profile). Not from $PLUGINSDIR: run as SYSTEM by a
; deployment tool, $TEMP is the Windows temporary folder, where any user can
; make or race the folder first. For the same reason nothing here calls a
; plug-in; the helper writes its line into a file beside itself instead.

Var Stage

!macro MakeStage
  ${If} $Stage == ""
    ${If} ${FileExists} "$WINDIR\SystemTemp\*.*"
      StrCpy $Stage "$WINDIR\SystemTemp"
    ${Else}
      StrCpy $Stage "$SYSDIR\config\systemprofile\AppData\Local\Temp"
      CreateDirectory "$Stage"
    ${EndIf}
    ; A unique name below a folder no user can write to.
    GetTempFileName $Stage "$Stage"
    Delete "$Stage"
    CreateDirectory "$Stage"
  ${EndIf}
!macroend

!macro RemoveStage
  ${If} $Stage != ""
    RMDir /r "$Stage"
    StrCpy $Stage ""
  ${EndIf}
!macroend

!macro ExtractSetupHelper
  !insertmacro MakeStage
  ${IfNot} ${FileExists} "$Stage\QvPushSetupHelper.exe"
    File "/oname=$Stage\QvPushSetupHelper.exe" "${QV_BIN}\QvPushSetupHelper.exe"
  ${EndIf}
!macroend

; Runs the helper with `arguments`; leaves its exit code in $0 ("error" when
; it could not start) and its line in $1, which is logged.
!macro RunSetupHelper arguments
  Delete "$Stage\QvPushSetupHelper.txt"
  ClearErrors
  ExecWait '"$Stage\QvPushSetupHelper.exe" ${arguments}' $0
  ${If} ${Errors}
    StrCpy $0 "error"
  ${EndIf}
  StrCpy $1 ""
  ClearErrors
  FileOpen $R6 "$Stage\QvPushSetupHelper.txt" r
  ${IfNot} ${Errors}
    FileReadUTF16LE $R6 $1
    FileClose $R6
  ${EndIf}
  ${TrimNewLines} "$1" $1
  ${Log} "$1"
!macroend

; A file that is in use cannot be replaced or removed, so whatever runs from
; the install folder must be gone first. Aborts when it will not end.
!macro StopRunningCopiesIn folder
  !insertmacro ExtractSetupHelper
  !insertmacro RunSetupHelper 'stop "${folder}"'
  ${If} $0 != 0
    MessageBox MB_OK|MB_ICONSTOP "$(StillRunning)" /SD IDOK
    Abort "$(StillRunning)"
  ${EndIf}
!macroend

!macro StopRunningCopies
  !insertmacro StopRunningCopiesIn "$INSTDIR"
!macroend

!macro StartDaemon
  !insertmacro RunSetupHelper 'launch "$INSTDIR\QvPushServer.exe"'
!macroend
