// Resource identifiers of the control page's files, compiled into
// QvPushServer.exe as RCDATA; shared by its resource script and the web
// endpoint, so plain preprocessor definitions only.
#pragma once

#define IDR_PAGE_HTML 301
#define IDR_PAGE_SCRIPT 302
#define IDR_PAGE_STYLE 303
#define IDR_PAGE_STATUS 304
#define IDR_PAGE_PICTURE 305
