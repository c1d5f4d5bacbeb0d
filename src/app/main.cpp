#include "app/run.h"

int main(int argc, char** argv) { return RemoverMain(argc, argv); }
