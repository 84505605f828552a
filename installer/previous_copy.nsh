; An installed copy in another folder than the one chosen now goes, so that
; one copy stays: one set of files, one camera registration, one Apps &
; Features entry. The user's settings stay (/UPGRADE tells its uninstaller
; so), and the ffmpeg.exe the user put there moves along first: that
; uninstaller would delete it when an installer had carried it.
;
; The old folder may not have been protected (versions before every object
; was), so its uninstaller runs elevated only when the folder passes the
; same check as an install folder and no object in it lets a user change
; it; otherwise nothing from there is run and the names an installation
; writes are removed one by one.

!macro RemoveCopyElsewhere
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 != ""
  ${AndIf} $R0 != $INSTDIR
  ${AndIf} ${FileExists} "$R0\*.*"
    ${Log} "$(RemovingCopy) $R0"
    ${If} ${FileExists} "$R0\ffmpeg.exe"
    ${AndIfNot} ${FileExists} "$INSTDIR\ffmpeg.exe"
      ClearErrors
      Rename "$R0\ffmpeg.exe" "$INSTDIR\ffmpeg.exe"
      ${If} ${Errors}
        CopyFiles /SILENT "$R0\ffmpeg.exe" "$INSTDIR"
        Delete "$R0\ffmpeg.exe"
      ${EndIf}
      ${Log} "$(FfmpegCarried) $R0\ffmpeg.exe"
    ${EndIf}
    !insertmacro RunSetupHelper 'trusted "$R0"'
    ${If} $0 == 0
    ${AndIf} ${FileExists} "$R0\${UNINSTALLER}"
      ClearErrors
      ExecWait '"$R0\${UNINSTALLER}" /S /UPGRADE _?=$R0' $0
      ${If} ${Errors}
      ${OrIf} $0 <> 0
      ${AndIf} $0 <> 3010
        ${Log} "$(CopyNotRemoved) $0 ($R0)"
      ${EndIf}
    ${Else}
      ${Log} "$(OldCopyNotRun) $R0"
      !insertmacro RemoveKnownFiles "$R0"
    ${EndIf}
    Delete "$R0\${UNINSTALLER}"
    RMDir "$R0\x86"
    RMDir "$R0"
  ${EndIf}
!macroend

; The names an installation of any version writes, deleted in `folder`
; without running anything from it.
!macro RemoveKnownFiles folder
  !insertmacro StopRunningCopiesIn "${folder}"
  Delete /REBOOTOK "${folder}\QvPushServer.exe"
  Delete /REBOOTOK "${folder}\QvShow.exe"
  Delete /REBOOTOK "${folder}\QvGraph.exe"
  Delete /REBOOTOK "${folder}\QvCamera.dll"
  Delete /REBOOTOK "${folder}\x86\QvCamera.dll"
  Delete /REBOOTOK "${folder}\ffmpeg-LICENSE.txt"
  Delete /REBOOTOK "${folder}\ffmpeg-version.txt"
  Delete /REBOOTOK "${folder}\install.log"
  Delete /REBOOTOK "${folder}\install.files"
  Delete /REBOOTOK "${folder}\${UNINSTALLER_CORE}"
  Delete /REBOOTOK "${folder}\${UNINSTALLER}"
!macroend
