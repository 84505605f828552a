; QvPushSetupHelper.exe travels inside the installer and the uninstaller and
; runs from the temporary plug-in folder: it stops a running copy before
; files are replaced or removed, and starts the daemon as the desktop user.

!macro ExtractSetupHelper
  InitPluginsDir
  File "/oname=$PLUGINSDIR\QvPushSetupHelper.exe" "${QV_BIN}\QvPushSetupHelper.exe"
!macroend

; Runs the helper with `arguments`; leaves its exit code in $0 ("error" when
; it could not start) and logs the line it printed.
!macro RunSetupHelper arguments
  nsExec::ExecToStack '"$PLUGINSDIR\QvPushSetupHelper.exe" ${arguments}'
  Pop $0
  Pop $1
  ${TrimNewLines} "$1" $1
  ${Log} "$1"
!macroend

; A file that is in use cannot be replaced or removed, so whatever runs from
; the install folder must be gone first. Aborts when it will not end.
!macro StopRunningCopies
  !insertmacro ExtractSetupHelper
  !insertmacro RunSetupHelper 'stop "$INSTDIR"'
  ${If} $0 != 0
    MessageBox MB_OK|MB_ICONSTOP "$(StillRunning)" /SD IDOK
    Abort "$(StillRunning)"
  ${EndIf}
!macroend

!macro StartDaemon
  !insertmacro RunSetupHelper 'launch "$INSTDIR\QvPushServer.exe"'
!macroend
