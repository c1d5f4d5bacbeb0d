#include "scan/signature.h"

void Crc32BuildTable() {}
