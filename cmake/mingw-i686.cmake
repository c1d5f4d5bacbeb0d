# The product: 32-bit Windows, 95/98/Me and NT families. The win32 thread model keeps the
# program free of any threading runtime.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VR_MINGW_TRIPLE i686-w64-mingw32)
set(VR_MINGW_SUFFIX "")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
