// The scan of one drive or path: the walker's callbacks, counting, progress and infected files.
#pragma once

#include <stdint.h>

#include "walker/file_walker.h"

// Walks `path` (a drive root, directory, file or wildcard path; a leading "-" turns off descent into
// subdirectories) and handles every infected file it finds. Does nothing when `path` is absent.
void ScanRoot(const char* path);

// The system's callbacks: count every directory and file, keep the progress line fresh, and test
// each file against the signatures. The walk is never stopped.
class ScanCallbacks : public WalkCallbacks {
 public:
  int OnFile(const FoundEntry& entry) override;
  int OnDirectory(const FoundEntry& entry) override;
  int ShouldStop() override;
};

// Reports an infected file and deletes it, or schedules its deletion at the next restart.
void HandleInfectedFile(const char* path, const char* suffix);

// The tick count at which the progress line was last drawn; 0 before the first drawing.
extern uint32_t progressTick;

// The progress line is redrawn only when more than this many milliseconds have passed.
const uint32_t kProgressInterval = 100;
