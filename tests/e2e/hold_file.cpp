// Holds one file open the way a running worm holds its own program file: readable by others, but
// not deletable (no FILE_SHARE_DELETE). Prints "held" once the file is open and keeps it open until
// its standard input ends. Usage: hold_file PATH
#include <stdio.h>
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: hold_file PATH\n");
    return 2;
  }
  HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    fprintf(stderr, "cannot open %s (error %lu)\n", argv[1], GetLastError());
    return 1;
  }
  printf("held\n");
  fflush(stdout);
  char buffer[64];
  while (fgets(buffer, sizeof buffer, stdin) != nullptr) {
  }
  CloseHandle(file);
  return 0;
}
