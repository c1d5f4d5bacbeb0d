#include "app/console.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

ScanCounters scanCounters;
char errorText[kErrorTextSize];

void FoldCounters() {
  scanCounters.remaining += scanCounters.infected - scanCounters.removed;
  scanCounters.totalFiles += scanCounters.files;
}

void ResetDriveCounters() {
  scanCounters.directories = 0;
  scanCounters.files = 0;
  scanCounters.infected = 0;
  scanCounters.removed = 0;
}

void ShowProgress(const char* text) {
  printf("\r%73s\r%.70s%s", "", text, text[0] != '\0' ? "..." : "   ");
}

int ReportError(int result, const char* format, ...) {
  static const char kPrefix[] = "Error: ";
  memcpy(errorText, kPrefix, sizeof kPrefix);
  va_list args;
  va_start(args, format);
  // A message too long for the buffer is cut; vsnprintf always terminates it.
  vsnprintf(errorText + sizeof kPrefix - 1, sizeof errorText - (sizeof kPrefix - 1), format, args);
  va_end(args);
  printf("%s\n", errorText);
  return result;
}
