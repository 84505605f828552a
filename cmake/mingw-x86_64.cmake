set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# Only the 64-bit build can run on this kernel; tests go through Wine.
set(QV_WINE /usr/lib/wine/wine64 CACHE FILEPATH "The 64-bit Wine loader that runs the tests")
set(CMAKE_CROSSCOMPILING_EMULATOR ${QV_WINE})
