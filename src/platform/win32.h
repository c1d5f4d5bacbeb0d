// The one header through which system code reaches the operating system. System code calls the
// Win32 functions by their own names; on Windows they are the real ones, elsewhere the project's
// POSIX layer provides them.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#include <objbase.h>
#else
#include "platform/posix/win32_posix.h"
#endif
