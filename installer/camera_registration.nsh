; The camera is registered twice: the 64-bit QvCamera.dll with the 64-bit
; regsvr32 (System32 for this 64-bit installer), and the 32-bit copy in x86\
; with SysWOW64\regsvr32 for 32-bit capture programs. Whether 32-bit code
; can run is found out by trying: a system without it has no SysWOW64
; regsvr32, or one that does not start; either is logged and skipped.

!define CAMERA64 "$INSTDIR\QvCamera.dll"
!define CAMERA32 "$INSTDIR\x86\QvCamera.dll"
!define REGSVR32_64 "$SYSDIR\regsvr32.exe"
!define REGSVR32_32 "$WINDIR\SysWOW64\regsvr32.exe"

; Leaves 1 in $0 when the 64-bit camera is registered (or unregistered).
; `done` and `notDone` name the log texts (languages.nsh).
!macro Regsvr32For64Bit switches done notDone
  ClearErrors
  ExecWait '"${REGSVR32_64}" ${switches} /s "${CAMERA64}"' $0
  ${If} ${Errors}
    ${Log} "$(${notDone}64) $(Regsvr32NotStarted) ${REGSVR32_64}"
    StrCpy $0 0
  ${ElseIf} $0 <> 0
    ${Log} "$(${notDone}64) $(Regsvr32ExitCode) $0"
    StrCpy $0 0
  ${Else}
    ${Log} "$(${done}64) ${CAMERA64}"
    StrCpy $0 1
  ${EndIf}
!macroend

!macro Regsvr32For32Bit switches done notDone
  ${IfNot} ${FileExists} "${REGSVR32_32}"
    ${Log} "$(${notDone}32) $(No32BitSupport) ${REGSVR32_32}"
  ${Else}
    ClearErrors
    ExecWait '"${REGSVR32_32}" ${switches} /s "${CAMERA32}"' $0
    ${If} ${Errors}
      ${Log} "$(${notDone}32) $(Regsvr32NotStarted) ${REGSVR32_32}"
    ${ElseIf} $0 <> 0
      ${Log} "$(${notDone}32) $(Regsvr32ExitCode) $0"
    ${Else}
      ${Log} "$(${done}32) ${CAMERA32}"
    ${EndIf}
  ${EndIf}
!macroend

; Without the 64-bit camera the encoder has nothing to capture: that is a
; failed installation. The 32-bit camera only serves other programs.
; The installation is then rolled back by its own uninstaller; the log
; stays to say why.
!macro RegisterCameras
  !insertmacro Regsvr32For64Bit "" CameraRegistered CameraNotRegistered
  ${If} $0 != 1
    ${Log} "$(RollingBack)"
    !insertmacro CloseInstallLog
    Rename "$INSTDIR\install.log" "$Stage\install.log"
    ExecWait '"$INSTDIR\${UNINSTALLER}" /S /UPGRADE'
    Delete "$INSTDIR\${UNINSTALLER}"
    CreateDirectory "$INSTDIR"
    Rename "$Stage\install.log" "$INSTDIR\install.log"
    FileOpen $LogFile "$INSTDIR\install.log" a
    FileSeek $LogFile 0 END
    MessageBox MB_OK|MB_ICONSTOP "$(CameraNotRegistered)" /SD IDOK
    !insertmacro CloseInstallLog
    SetErrorLevel 2
    Abort "$(CameraNotRegistered)"
  ${EndIf}
  !insertmacro Regsvr32For32Bit "" CameraRegistered CameraNotRegistered
!macroend

!macro UnregisterCameras
  !insertmacro Regsvr32For64Bit "/u" CameraUnregistered CameraNotUnregistered
  !insertmacro Regsvr32For32Bit "/u" CameraUnregistered CameraNotUnregistered
!macroend
