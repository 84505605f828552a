; The installer's own texts, in English and Simplified Chinese; NSIS picks
; the one of the user's language (English otherwise).

LangString SecRunName ${LANG_ENGLISH} "Start QvPush when I log on"
LangString SecRunName ${LANG_SIMPCHINESE} "登录时启动 QvPush"

LangString FfmpegLicenseHeader ${LANG_ENGLISH} "FFmpeg licence"
LangString FfmpegLicenseHeader ${LANG_SIMPCHINESE} "FFmpeg 许可协议"
LangString FfmpegLicenseSubheader ${LANG_ENGLISH} "QvPush publishes with FFmpeg, which comes with this installer under its own licence."
LangString FfmpegLicenseSubheader ${LANG_SIMPCHINESE} "QvPush 使用 FFmpeg 推流。本安装程序附带的 FFmpeg 遵循其自身的许可协议。"
LangString FfmpegLicenseBottom ${LANG_ENGLISH} "The licence text is also installed as ffmpeg-LICENSE.txt."
LangString FfmpegLicenseBottom ${LANG_SIMPCHINESE} "许可协议全文也会安装为 ffmpeg-LICENSE.txt。"

LangString FinishWithoutFfmpeg ${LANG_ENGLISH} "QvPush is installed and running in the notification area.$\r$\n$\r$\nFFmpeg is not included. To publish, download a Windows build of FFmpeg and put its ffmpeg.exe into$\r$\n$INSTDIR$\r$\nnext to QvShow.exe."
LangString FinishWithoutFfmpeg ${LANG_SIMPCHINESE} "QvPush 已安装，并在通知区域运行。$\r$\n$\r$\n本安装程序不含 FFmpeg。推流前请下载 Windows 版 FFmpeg，把 ffmpeg.exe 放到$\r$\n$INSTDIR$\r$\n与 QvShow.exe 同一文件夹。"

LangString StillRunning ${LANG_ENGLISH} "QvPush is still running and could not be stopped. Exit it from its notification-area menu and try again."
LangString StillRunning ${LANG_SIMPCHINESE} "QvPush 仍在运行且无法停止。请从通知区域菜单退出后重试。"

LangString CameraNotRegistered ${LANG_ENGLISH} "The virtual camera could not be registered. See install.log in the installation folder."
LangString CameraNotRegistered ${LANG_SIMPCHINESE} "无法注册虚拟摄像头。详情见安装文件夹中的 install.log。"
