// The scan of one drive or path: the walker's callbacks, counting, progress and infected files.
#pragma once

// Walks `path` (a drive root, directory, file or wildcard path; a leading "-" turns off descent into
// subdirectories). Does nothing when `path` is absent.
void ScanRoot(const char* path);
