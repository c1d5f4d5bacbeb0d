#include "registry/registry_repair.h"

int CheckTextFileCommand() { return 0; }
