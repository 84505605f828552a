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
!macro Regsvr32For64Bit switches done
  ClearErrors
  ExecWait '"${REGSVR32_64}" ${switches} /s "${CAMERA64}"' $0
  ${If} ${Errors}
    ${Log} "64-bit camera not ${done}: ${REGSVR32_64} did not start"
    StrCpy $0 0
  ${ElseIf} $0 <> 0
    ${Log} "64-bit camera not ${done}: regsvr32 exit code $0"
    StrCpy $0 0
  ${Else}
    ${Log} "64-bit camera ${done}: ${CAMERA64}"
    StrCpy $0 1
  ${EndIf}
!macroend

!macro Regsvr32For32Bit switches done
  ${IfNot} ${FileExists} "${REGSVR32_32}"
    ${Log} "32-bit camera not ${done}: this Windows has no ${REGSVR32_32} (no 32-bit support)"
  ${Else}
    ClearErrors
    ExecWait '"${REGSVR32_32}" ${switches} /s "${CAMERA32}"' $0
    ${If} ${Errors}
      ${Log} "32-bit camera not ${done}: ${REGSVR32_32} could not run (this system runs no 32-bit programs)"
    ${ElseIf} $0 <> 0
      ${Log} "32-bit camera not ${done}: SysWOW64 regsvr32 exit code $0"
    ${Else}
      ${Log} "32-bit camera ${done}: ${CAMERA32}"
    ${EndIf}
  ${EndIf}
!macroend

; Without the 64-bit camera the encoder has nothing to capture: that is a
; failed installation. The 32-bit camera only serves other programs.
!macro RegisterCameras
  !insertmacro Regsvr32For64Bit "" "registered"
  ${If} $0 != 1
    MessageBox MB_OK|MB_ICONSTOP "$(CameraNotRegistered)" /SD IDOK
    Abort "$(CameraNotRegistered)"
  ${EndIf}
  !insertmacro Regsvr32For32Bit "" "registered"
!macroend

!macro UnregisterCameras
  !insertmacro Regsvr32For64Bit "/u" "unregistered"
  !insertmacro Regsvr32For32Bit "/u" "unregistered"
!macroend
