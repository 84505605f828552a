; QvPushSetup.exe: one 64-bit setup program that installs the daemon, the
; encoder, the camera bridge and the virtual camera in both bitnesses, and
; writes an uninstaller that takes all of it away again.
;
; Built by the CMake target `installer`, which passes:
;   QV_VERSION   x.y.z          QV_BIN      folder of the 64-bit programs
;   QV_X86_BIN   32-bit camera  QV_OUTFILE  the setup program to write
;   QV_FFMPEG_EXE, QV_FFMPEG_LICENSE   optional: an FFmpeg to carry
;
; Command line (besides NSIS's own /S for silent and /D=folder, last):
;   /NOAUTOSTART  do not start QvPush at log-on (the Run key is on by default)
;   /NOSTART      do not start QvPush when the installation ends

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!ifndef QV_VERSION | QV_BIN | QV_X86_BIN | QV_OUTFILE
  !error "QV_VERSION, QV_BIN, QV_X86_BIN and QV_OUTFILE must be given (-D...)"
!endif

!define PRODUCT "QvPush"
!define PUBLISHER "QvPush"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QvPush"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "QvPushServer"
; Created by the browser side for the user's settings; ours to remove.
!define USER_KEY "Software\QvPush"
!define UNINSTALLER "uninstall.exe"

Name "${PRODUCT} ${QV_VERSION}"
OutFile "${QV_OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${QV_VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${QV_VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=0 "FileVersion" "${QV_VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${QV_VERSION}"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "LegalCopyright" "${PUBLISHER}"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include TextFunc.nsh
!include Sections.nsh

!include install_log.nsh
!include setup_helper.nsh
!include camera_registration.nsh
!include previous_copy.nsh

Var NoStart
; Set in the uninstaller of a copy that a newer installation replaces.
Var Upgrading

!define MUI_ICON "..\daemon\shell\icon\qvpushserver.ico"
!define MUI_UNICON "..\daemon\shell\icon\qvpushserver.ico"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_WELCOME
!ifdef QV_FFMPEG_LICENSE
  !define MUI_PAGE_HEADER_TEXT "$(FfmpegLicenseHeader)"
  !define MUI_PAGE_HEADER_SUBTEXT "$(FfmpegLicenseSubheader)"
  !define MUI_LICENSEPAGE_TEXT_BOTTOM "$(FfmpegLicenseBottom)"
  !define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
  !insertmacro MUI_PAGE_LICENSE "${QV_FFMPEG_LICENSE}"
!endif
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!ifndef QV_FFMPEG_EXE
  !define MUI_FINISHPAGE_TEXT "$(FinishWithoutFfmpeg)"
!endif
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"
!include languages.nsh

Section "QvPush" SecMain
  SectionIn RO
  SetRegView 64
  SetOutPath "$INSTDIR"
  !insertmacro OpenInstallLog
  ${Log} "${PRODUCT} ${QV_VERSION} into $INSTDIR"
  !insertmacro StopRunningCopies
  !insertmacro RemoveCopyElsewhere

  File "${QV_BIN}\QvPushServer.exe"
  File "${QV_BIN}\QvShow.exe"
  File "${QV_BIN}\QvGraph.exe"
  File "${QV_BIN}\QvCamera.dll"
  SetOutPath "$INSTDIR\x86"
  File "${QV_X86_BIN}\QvCamera.dll"
  SetOutPath "$INSTDIR"
!ifdef QV_FFMPEG_EXE
  File "/oname=ffmpeg.exe" "${QV_FFMPEG_EXE}"
  File "/oname=ffmpeg-LICENSE.txt" "${QV_FFMPEG_LICENSE}"
  ${Log} "FFmpeg installed: $INSTDIR\ffmpeg.exe (its licence: ffmpeg-LICENSE.txt)"
!else
  ${If} ${FileExists} "$INSTDIR\ffmpeg.exe"
    ${Log} "FFmpeg not included; the ffmpeg.exe already in $INSTDIR stays"
  ${Else}
    ${Log} "FFmpeg not included: publishing needs it. Put a Windows build of ffmpeg.exe into $INSTDIR, next to QvShow.exe."
  ${EndIf}
!endif
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  ${Log} "Files written"

  !insertmacro RegisterCameras

  ; Written again by the next component when it is chosen.
  DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
SectionEnd

Section "$(SecRunName)" SecRun
  WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\QvPushServer.exe"'
  ${Log} "Starts at log-on: HKCU\${RUN_KEY}\${RUN_VALUE}"
SectionEnd

Section "-Finish"
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
  ${Log} "Apps & Features entry written (${QV_VERSION}, $0 KB)"

  ${If} $NoStart == 1
    ${Log} "Not started (/NOSTART)"
  ${Else}
    !insertmacro StartDaemon
  ${EndIf}
  !insertmacro CloseInstallLog
SectionEnd

Function .onInit
  SetRegView 64
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/NOAUTOSTART" $R1
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SecRun}
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/NOSTART" $R1
  ${IfNot} ${Errors}
    StrCpy $NoStart 1
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetRegView 64
  !insertmacro StopRunningCopies
  !insertmacro UnregisterCameras

  Delete "$INSTDIR\QvPushServer.exe"
  Delete "$INSTDIR\QvShow.exe"
  Delete "$INSTDIR\QvGraph.exe"
  Delete "$INSTDIR\QvCamera.dll"
  Delete "$INSTDIR\x86\QvCamera.dll"
  RMDir "$INSTDIR\x86"
  ; Ours whether we carried it or the user put it where we asked.
  Delete "$INSTDIR\ffmpeg.exe"
  Delete "$INSTDIR\ffmpeg-LICENSE.txt"
  Delete "$INSTDIR\install.log"
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Only when empty: files the user added stay.
  RMDir "$INSTDIR"

  DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${If} $Upgrading != 1
    DeleteRegKey HKCU "${USER_KEY}"
  ${EndIf}
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${Log} "Removed"
SectionEnd

Function un.onInit
  SetRegView 64
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/UPGRADE" $R1
  ${IfNot} ${Errors}
    StrCpy $Upgrading 1
  ${EndIf}
FunctionEnd
