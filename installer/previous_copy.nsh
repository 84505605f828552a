; An installed copy in another folder than the one chosen now is removed by
; its own uninstaller first, so that one copy stays: one set of files, one
; camera registration, one Apps & Features entry. The user's settings stay
; (/UPGRADE tells that uninstaller so).

!macro RemoveCopyElsewhere
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 != ""
  ${AndIf} $R0 != $INSTDIR
  ${AndIf} ${FileExists} "$R0\${UNINSTALLER}"
    ${Log} "$(RemovingCopy) $R0"
    ClearErrors
    ; _?= runs it in place and waits for it; it cannot delete itself then.
    ExecWait '"$R0\${UNINSTALLER}" /S /UPGRADE _?=$R0' $0
    ${If} ${Errors}
    ${OrIf} $0 <> 0
    ${AndIf} $0 <> 3010
      ${Log} "$(CopyNotRemoved) $0 ($R0)"
    ${Else}
      Delete "$R0\${UNINSTALLER}"
      ; The FFmpeg the user put there moves with the installation.
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
      RMDir "$R0"
    ${EndIf}
  ${EndIf}
!macroend
