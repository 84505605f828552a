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
