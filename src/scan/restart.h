// Deletion at the next restart, for a worm file that cannot be deleted while Windows runs.
#pragma once

// Asks Windows to delete the file at `path` (a full path) during its next start: on the NT family
// through the system's restart list, on the Windows 95 family by adding "NUL=path" to the [rename]
// section of WININIT.INI in the Windows folder. Returns 0 when the request took effect and -1 when
// it did not; an existing WININIT.INI is then left as it was. Prints nothing.
int ScheduleDeleteAtRestart(const char* path);

// Whether `pattern` occurs anywhere in `text`, ASCII letters compared without regard to case.
bool ContainsNoCase(const char* text, const char* pattern);
