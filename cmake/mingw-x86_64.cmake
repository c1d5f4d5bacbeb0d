# 64-bit Windows. This build also carries the unit tests, which GoogleTest needs the posix
# thread model for; ctest runs them under Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VR_MINGW_TRIPLE x86_64-w64-mingw32)
set(VR_MINGW_SUFFIX "-posix")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
