; QvPushSetup.exe: one 64-bit setup program that installs the daemon, the
; encoder, the camera bridge and the virtual camera in both bitnesses, and
; writes an uninstaller that takes all of it away again.
;
; Built by the CMake target `installer`, which passes:
;   QV_VERSION   x.y.z          QV_BIN      folder of the 64-bit programs
;   QV_X86_BIN   32-bit camera  QV_OUTFILE  the setup program to write
;   QV_FFMPEG_EXE, QV_FFMPEG_LICENSE, QV_FFMPEG_VERSION   optional: an
;                FFmpeg to carry, its licence and its `-version` output
;
; Command line (besides NSIS's own /S for silent and /D=folder, last):
;   /NOAUTOSTART  do not start QvPush at log-on (the Run key is on by default)
;   /NOSTART      do not start QvPush when the installation ends
;
; Exit codes (silent): 0 done, 2 refused or failed (install.log says why,
; or for a refused folder, which is never written to, the value
; SetupRefused of HKLM\Software\QvPush), 350 refused until Windows has
; restarted (an uninstallation's file operations wait for it in the folder),
; 3010 done, but a file in use is put in place at the next restart.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
; A file that cannot be written fails the installation; it is never skipped.
AllowSkipFiles off
ManifestDPIAware true

!ifndef QV_VERSION | QV_BIN | QV_X86_BIN | QV_OUTFILE
  !error "QV_VERSION, QV_BIN, QV_X86_BIN and QV_OUTFILE must be given (-D...)"
!endif

!define PRODUCT "QvPush"
!define PUBLISHER "QvPush"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QvPush"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "QvPushServer"
!define RUN_ONCE_KEY "Software\Microsoft\Windows\CurrentVersion\RunOnce"
; Created by the browser side for the user's settings; ours to remove.
!define USER_KEY "Software\QvPush"
; Per machine: why the last setup refused (see install_folder.nsh).
!define SETUP_KEY "Software\QvPush"
; What Apps & Features runs; it runs the NSIS uninstaller, UNINSTALLER_CORE,
; from a private copy and waits for it.
!define UNINSTALLER "uninstall.exe"
!define UNINSTALLER_CORE "uninstall.dat"

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
!include payload_files.nsh
!include install_folder.nsh
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
  !ifndef QV_FFMPEG_VERSION
    !error "QV_FFMPEG_VERSION (the carried ffmpeg.exe's -version output) must come with QV_FFMPEG_EXE"
  !endif
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
  ; Before anything is written into the folder.
  !insertmacro CheckInstallFolder
  CreateDirectory "$INSTDIR"
  SetOutPath "$INSTDIR"
  !insertmacro OpenInstallLog
  ${Log} "${PRODUCT} ${QV_VERSION} -> $INSTDIR"
  !insertmacro ProtectInstallFolder
  !insertmacro StopRunningCopies
  !insertmacro RemoveCopyElsewhere

  !insertmacro OpenFilesList
  CreateDirectory "$INSTDIR\x86"
  ${PutFile} "${QV_BIN}\QvPushServer.exe" "QvPushServer.exe"
  ${PutFile} "${QV_BIN}\QvShow.exe" "QvShow.exe"
  ${PutFile} "${QV_BIN}\QvGraph.exe" "QvGraph.exe"
  ${PutFile} "${QV_BIN}\QvCamera.dll" "QvCamera.dll"
  ${PutFile} "${QV_X86_BIN}\QvCamera.dll" "x86\QvCamera.dll"
  ${PutFile} "${QV_BIN}\QvPushUninstall.exe" "${UNINSTALLER}"
!ifdef QV_FFMPEG_EXE
  ${PutFile} "${QV_FFMPEG_EXE}" "ffmpeg.exe"
  ${PutFile} "${QV_FFMPEG_LICENSE}" "ffmpeg-LICENSE.txt"
  ${PutFile} "${QV_FFMPEG_VERSION}" "ffmpeg-version.txt"
  ${Log} "$(FfmpegInstalled)"
!else
  ${If} ${FileExists} "$INSTDIR\ffmpeg.exe"
    ${Log} "$(FfmpegKept)"
  ${Else}
    ${Log} "$(FfmpegMissing)"
  ${EndIf}
!endif
  !insertmacro ListFile "install.log"
  !insertmacro ListFile "${UNINSTALLER_CORE}"
  !insertmacro CloseFilesList
  WriteUninstaller "$INSTDIR\${UNINSTALLER_CORE}"
  ; Objects made before the folder was protected, and the files just
  ; written, all become the administrators'.
  !insertmacro ProtectInstallFolder
  ; At once: from here on there is something to uninstall.
  !insertmacro WriteAppsEntry
  ${Log} "$(FilesWritten)"

  !insertmacro RegisterCameras

  ; Written again by the next component when it is chosen; the per-user
  ; value is what versions before the per-machine start wrote.
  DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
  DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
SectionEnd

Section "$(SecRunName)" SecRun
  SetRegView 64
  WriteRegStr HKLM "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\QvPushServer.exe"'
  ${Log} "$(StartsAtLogOn) HKLM\${RUN_KEY}\${RUN_VALUE}"
SectionEnd

Section "-Finish"
  ${If} $Queued == 1
    ; The camera in place after the restart registers itself then.
    WriteRegStr HKLM "${RUN_ONCE_KEY}" "QvPushCamera" '"$SYSDIR\regsvr32.exe" /s "$INSTDIR\QvCamera.dll"'
    ${Log} "$(RestartNeeded)"
    MessageBox MB_OK|MB_ICONINFORMATION "$(RestartNeeded)" /SD IDOK
    SetErrorLevel 3010
  ${EndIf}
  ${If} $NoStart == 1
    ${Log} "$(NotStartedSwitch)"
  ${Else}
    !insertmacro StartDaemon
  ${EndIf}
  !insertmacro CloseInstallLog
  !insertmacro RemoveStage
SectionEnd

Function .onInstFailed
  !insertmacro RemoveStage
FunctionEnd

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
  !insertmacro RemoveInstalledFiles
  RMDir "$INSTDIR\x86"
  ; Only when empty: files the user added stay.
  RMDir "$INSTDIR"

  DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
  DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${If} $Upgrading != 1
    DeleteRegKey HKCU "${USER_KEY}"
    DeleteRegKey HKLM "${SETUP_KEY}"
  ${EndIf}
  ${If} ${RebootFlag}
    DetailPrint "$(RestartNeeded)"
    SetErrorLevel 3010
  ${EndIf}
  ; The entry stays until the files in use are gone at the restart; but an
  ; installer that called (/UPGRADE) writes an entry of its own or takes its
  ; installation back, and the restart must not delete that entry.
  ${If} ${RebootFlag}
  ${AndIf} $Upgrading != 1
    WriteRegStr HKLM "${RUN_ONCE_KEY}" "QvPushUninstall" '"$SYSDIR\reg.exe" delete "HKLM\${UNINSTALL_KEY}" /f /reg:64'
  ${Else}
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${EndIf}
  DetailPrint "$(Removed)"
  !insertmacro RemoveStage
SectionEnd

Function un.onUninstFailed
  !insertmacro RemoveStage
FunctionEnd

Function un.onInit
  SetRegView 64
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/UPGRADE" $R1
  ${IfNot} ${Errors}
    StrCpy $Upgrading 1
  ${EndIf}
FunctionEnd
