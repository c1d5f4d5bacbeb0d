// The process-wide scan counters and the console routines every phase writes through.
#pragma once

#include <stdint.h>

struct ScanCounters {
  int32_t directories;  // directories reported during the current drive
  int32_t files;        // files reported during the current drive
  int32_t infected;     // infected files found during the current drive
  int32_t removed;      // infected files deleted during the current drive
  int32_t remaining;    // infected files found but not deleted, over the whole run
  int32_t totalFiles;   // files examined over the whole run
  bool rebootNeeded;    // a deletion at the next restart was requested
};

extern ScanCounters scanCounters;

// Folds the per-drive counters into the run totals; applied before each summary line.
void FoldCounters();

// Zeroes the per-drive counters; applied right after each summary line.
void ResetDriveCounters();

// Redraws the self-overwriting progress line with at most the first 70 characters of `text`.
void ShowProgress(const char* text);

// Prints "Error: " and the formatted message on a line of its own and returns `result`.
int ReportError(int result, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// Holds the last composed error line.
const int kErrorTextSize = 1000;
extern char errorText[kErrorTextSize];
