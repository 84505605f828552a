#include "daemon/web/page_resources.h"

#include "daemon/web/page_resource_ids.h"

#include <windows.h>

namespace {

struct PageEntry {
    const char* path;
    int resourceId;
    const char* contentType;
};

const PageEntry kPages[] = {
    {"/", IDR_PAGE_HTML, "text/html; charset=utf-8"},
    {"/index.html", IDR_PAGE_HTML, "text/html; charset=utf-8"},
    {"/app.js", IDR_PAGE_SCRIPT, "text/javascript; charset=utf-8"},
    {"/style.css", IDR_PAGE_STYLE, "text/css; charset=utf-8"},
    {"/status.js", IDR_PAGE_STATUS, "text/javascript; charset=utf-8"},
    {"/picture.js", IDR_PAGE_PICTURE, "text/javascript; charset=utf-8"},
};

bool LoadRcData(int id, std::string& bytes) {
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), RT_RCDATA);
    if (!found) return false;
    HGLOBAL loaded = ::LoadResource(module, found);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data) return false;
    bytes.assign(static_cast<const char*>(data), ::SizeofResource(module, found));
    return true;
}

}  // namespace

bool FindPageFile(const std::string& path, PageFile& file) {
    for (const PageEntry& entry : kPages) {
        if (path != entry.path) continue;
        file.contentType = entry.contentType;
        return LoadRcData(entry.resourceId, file.bytes);
    }
    return false;
}
