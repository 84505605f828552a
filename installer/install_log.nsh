; The install log: every step that an administrator may want to check after
; a silent run (/S) goes to $INSTDIR\install.log (UTF-16 with a byte-order
; mark) as well as to the details list. The uninstaller has no log file and
; only prints its details.

Var LogFile

!macro OpenInstallLog
  ClearErrors
  FileOpen $LogFile "$INSTDIR\install.log" w
  ${If} ${Errors}
    StrCpy $LogFile ""
  ${Else}
    FileWriteUTF16LE /BOM $LogFile ""
  ${EndIf}
!macroend

!macro CloseInstallLog
  ${If} $LogFile != ""
    FileClose $LogFile
    StrCpy $LogFile ""
  ${EndIf}
!macroend

!macro Log text
  DetailPrint "${text}"
  ${If} $LogFile != ""
    FileWriteUTF16LE $LogFile "${text}$\r$\n"
  ${EndIf}
!macroend
!define Log "!insertmacro Log"
