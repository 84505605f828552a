; The payload goes into place file by file, and each name goes into
; install.files, the list by which the uninstaller removes exactly what was
; installed and a later installation knows the folder as ours.
;
; A file in use (a capture program holding QvCamera.dll) is never skipped:
; Windows lets a loaded file be renamed, so the old one is moved to the
; temporary folder (removed at the next restart) and the new one written.
; Where even that fails, the new file waits beside it and takes its place at
; the next restart (/REBOOTOK); the installer says so and exits with 3010.

!define INSTALLED_FILES "install.files"

Var FilesList
Var Queued

!macro OpenFilesList
  FileOpen $FilesList "$INSTDIR\${INSTALLED_FILES}" w
!macroend

!macro CloseFilesList
  FileWriteUTF16LE $FilesList "${INSTALLED_FILES}$\r$\n"
  FileClose $FilesList
!macroend

; Records `name` (relative to $INSTDIR) as ours.
!macro ListFile name
  FileWriteUTF16LE $FilesList "${name}$\r$\n"
!macroend

; Moves an existing $INSTDIR\${name} out of the way when it cannot be
; deleted; leaves "queue" in $R9 when the new file must wait for a restart.
!macro ClearPayloadPlace name
  StrCpy $R9 ""
  ${If} ${FileExists} "$INSTDIR\${name}"
    Delete "$INSTDIR\${name}"
    ${If} ${FileExists} "$INSTDIR\${name}"
      GetTempFileName $R8
      Delete $R8
      ClearErrors
      Rename "$INSTDIR\${name}" $R8
      ${If} ${Errors}
        StrCpy $R9 "queue"
      ${Else}
        ${Log} "$(InUseMoved)${name}"
        ; Only a leftover in the temporary folder: no restart is needed for it.
        ${IfNot} ${RebootFlag}
          Delete /REBOOTOK $R8
          SetRebootFlag false
        ${Else}
          Delete /REBOOTOK $R8
        ${EndIf}
      ${EndIf}
    ${EndIf}
  ${EndIf}
!macroend

; Leaves 1 in `result` when `name` is one of the relative names the
; installer writes (the same fixed set as the helper's IsInstallerFileName),
; else 0. NSIS compares without regard to case, as the file system does.
!macro IsInstallerFileName name result
  StrCpy ${result} 0
  ${If} ${name} == "QvPushServer.exe"
  ${OrIf} ${name} == "QvShow.exe"
  ${OrIf} ${name} == "QvGraph.exe"
  ${OrIf} ${name} == "QvCamera.dll"
  ${OrIf} ${name} == "x86\QvCamera.dll"
  ${OrIf} ${name} == "QvPushServer.exe.new"
  ${OrIf} ${name} == "QvShow.exe.new"
  ${OrIf} ${name} == "QvGraph.exe.new"
  ${OrIf} ${name} == "QvCamera.dll.new"
  ${OrIf} ${name} == "x86\QvCamera.dll.new"
  ${OrIf} ${name} == "uninstall.exe"
  ${OrIf} ${name} == "uninstall.dat"
  ${OrIf} ${name} == "install.log"
  ${OrIf} ${name} == "ffmpeg.exe"
  ${OrIf} ${name} == "ffmpeg-LICENSE.txt"
  ${OrIf} ${name} == "ffmpeg-version.txt"
    StrCpy ${result} 1
  ${EndIf}
!macroend

; PutFile "folder\file" "installed name"
!macro PutFile source name
  !insertmacro ClearPayloadPlace "${name}"
  ${If} $R9 == "queue"
    File "/oname=$INSTDIR\${name}.new" "${source}"
    Rename /REBOOTOK "$INSTDIR\${name}.new" "$INSTDIR\${name}"
    StrCpy $Queued 1
    ${Log} "$(InUseQueued)${name}"
    ; Gone after the restart; until then a later setup knows it as ours.
    !insertmacro ListFile "${name}.new"
  ${Else}
    File "/oname=$INSTDIR\${name}" "${source}"
  ${EndIf}
  !insertmacro ListFile "${name}"
!macroend
!define PutFile "!insertmacro PutFile"
