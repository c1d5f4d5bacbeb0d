#include "scan/drive_scan.h"

void ScanRoot(const char*) {}
