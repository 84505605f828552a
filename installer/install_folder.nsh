; The install folder: taken only when it holds nothing but QvPush, given
; Program Files' protection wherever it is, listed in Apps & Features, and
; emptied again by the uninstaller of exactly what was installed.

; Where a refusal says why (the folder is never written to then): the
; value SetupRefused of HKLM\Software\QvPush, which only administrators
; can change; a setup that goes ahead deletes it.
!macro Refuse code text
  WriteRegStr HKLM "${SETUP_KEY}" "SetupRefused" "${code}: $1"
  MessageBox MB_OK|MB_ICONSTOP "${text}$\r$\n$1" /SD IDOK
  !insertmacro RemoveStage
  SetErrorLevel ${code}
  Abort "${text}"
!macroend

; Before anything is written or stopped: the folder must be ours alone
; (files, subfolders, owners, no junctions; silent: exit code 2), no file
; operation of an earlier uninstallation may wait for a restart in it (it
; would delete the new files then; exit code 350), and the new camera must
; register from a staging copy, tried against a private registry that the
; helper throws away (exit code 2): an upgrade whose camera could not be
; registered leaves the old installation exactly as it was, instead of
; rolling back into an uninstallation.
!macro CheckInstallFolder
  !insertmacro ExtractSetupHelper
  ; The removal of an uninstalled copy's Apps & Features entry, queued for
  ; the restart, would take this installation's entry.
  DeleteRegValue HKLM "${RUN_ONCE_KEY}" "QvPushUninstall"
  ReadRegStr $R1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R1 == $INSTDIR
    !insertmacro RunSetupHelper 'check "$INSTDIR" registered'
  ${Else}
    !insertmacro RunSetupHelper 'check "$INSTDIR"'
  ${EndIf}
  ${If} $0 != 0
    !insertmacro Refuse 2 "$(FolderNotOurs)"
  ${EndIf}
  !insertmacro RunSetupHelper 'pending "$INSTDIR"'
  ${If} $0 != 0
    !insertmacro Refuse 350 "$(RestartFirst)"
  ${EndIf}
  CreateDirectory "$Stage\camera"
  File "/oname=$Stage\camera\QvCamera.dll" "${QV_BIN}\QvCamera.dll"
  !insertmacro RunSetupHelper 'trycamera "$Stage\camera\QvCamera.dll"'
  ${If} $0 != 0
    !insertmacro Refuse 2 "$(CameraNotRegistered64)"
  ${EndIf}
  DeleteRegValue HKLM "${SETUP_KEY}" "SetupRefused"
  DeleteRegKey /ifempty HKLM "${SETUP_KEY}"
!macroend

; Program Files protects its folders already; anywhere else ordinary users
; could change what a machine-wide COM registration and the next elevated
; setup run. Run before the files go in and again after, on every object.
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
  !insertmacro RunSetupHelper 'size "$INSTDIR"'
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
; the list itself last, once it is closed. A line that is not one of the
; names the installer writes is skipped and said: a list that a user could
; have edited must never make an administrator's uninstaller delete
; "..\..", a drive or a wildcard.
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
      !insertmacro IsInstallerFileName $R2 $R3
      ${If} $R2 == ""
      ${OrIf} $R2 == "${INSTALLED_FILES}"
      ${ElseIf} $R3 != 1
        DetailPrint "$(ListLineSkipped) $R2"
      ${Else}
        ; An installer (/UPGRADE) waits on uninstall.exe and deletes it
        ; after. Queued, it would make the whole removal wait for a restart.
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
