; An installed copy in another folder than the one chosen now is removed by
; its own uninstaller first, so that one copy stays: one set of files, one
; camera registration, one Apps & Features entry. The user's settings stay
; (/UPGRADE tells that uninstaller so).

!macro RemoveCopyElsewhere
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 != ""
  ${AndIf} $R0 != $INSTDIR
  ${AndIf} ${FileExists} "$R0\${UNINSTALLER}"
    ${Log} "Removing the copy in $R0"
    ClearErrors
    ; _?= runs it in place and waits for it; it cannot delete itself then.
    ExecWait '"$R0\${UNINSTALLER}" /S /UPGRADE _?=$R0' $0
    ${If} ${Errors}
    ${OrIf} $0 <> 0
      ${Log} "The copy in $R0 could not be removed (uninstaller exit code $0)"
    ${Else}
      Delete "$R0\${UNINSTALLER}"
      RMDir "$R0"
    ${EndIf}
  ${EndIf}
!macroend
