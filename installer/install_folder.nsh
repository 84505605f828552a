; The install folder: taken only when it holds nothing but QvPush, given
; Program Files' protection wherever it is, listed in Apps & Features, and
; emptied again by the uninstaller of exactly what was installed.

; Refuses a folder with files that are not ours (silent: exit code 2),
; before anything is written into it.
!macro CheckInstallFolder
  !insertmacro ExtractSetupHelper
  ReadRegStr $R1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R1 == $INSTDIR
    !insertmacro RunSetupHelper 'check "$INSTDIR" registered'
  ${Else}
    !insertmacro RunSetupHelper 'check "$INSTDIR"'
  ${EndIf}
  ${If} $0 != 0
    MessageBox MB_OK|MB_ICONSTOP "$(FolderNotOurs)$\r$\n$1" /SD IDOK
    SetErrorLevel 2
    Abort "$(FolderNotOurs)"
  ${EndIf}
!macroend

; Program Files protects its folders already; anywhere else ordinary users
; could change what a machine-wide COM registration and the next elevated
; setup run.
!macro ProtectInstallFolder
  StrLen $R1 "$PROGRAMFILES64\"
  StrCpy $R2 "$INSTDIR\" $R1
  ${If} $R2 != "$PROGRAMFILES64\"
    !insertmacro RunSetupHelper 'protect "$INSTDIR"'
    ${If} $0 != 0
      MessageBox MB_OK|MB_ICONSTOP "$(FolderNotProtected)" /SD IDOK
      SetErrorLevel 2
      Abort "$(FolderNotProtected)"
    ${EndIf}
  ${EndIf}
!macroend

!macro WriteAppsEntry
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${QV_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\QvPushServer.exe",0'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${Log} "$(AppsEntryWritten) (${QV_VERSION}, $0 KB)"
!macroend

; Deletes what install.files names (a file in use at the next restart);
; the list itself last, once it is closed.
!macro RemoveInstalledFiles
  ClearErrors
  FileOpen $R1 "$INSTDIR\${INSTALLED_FILES}" r
  ${IfNot} ${Errors}
    ${Do}
      ClearErrors
      FileReadUTF16LE $R1 $R2
      ${If} ${Errors}
        ${ExitDo}
      ${EndIf}
      ${TrimNewLines} "$R2" $R2
      ${If} $R2 != ""
      ${AndIf} $R2 != "${INSTALLED_FILES}"
        ; Run in place by an installer (/UPGRADE), the uninstaller cannot
        ; delete itself; that installer deletes it after. Queued, it would
        ; make the whole removal wait for a restart.
        ${If} $Upgrading == 1
        ${AndIf} $R2 == "${UNINSTALLER}"
        ${Else}
          Delete /REBOOTOK "$INSTDIR\$R2"
        ${EndIf}
      ${EndIf}
    ${Loop}
    FileClose $R1
    Delete /REBOOTOK "$INSTDIR\${INSTALLED_FILES}"
  ${EndIf}
!macroend
