/* The yardstick of the scan benchmark: the least a walk can do that needs every file's size.
 * One thread, opendir/readdir, one fstatat per regular file and none for anything else, links
 * never followed. It counts the files and directories it sees and those of one size, so its
 * work cannot be optimised away and its count can be checked against the tool's.
 *   refwalk TREE [SIZE]     SIZE defaults to 77824 */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

static unsigned long directories, files, matches;
static long long wanted = 77824;

static void Walk(char* path, size_t length) {
  DIR* dir = opendir(path);
  if (dir == NULL) return;
  ++directories;
  struct dirent* item;
  while ((item = readdir(dir)) != NULL) {
    const char* name = item->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
    unsigned char type = item->d_type;
    if (type == DT_UNKNOWN) {
      struct stat st;
      if (fstatat(dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
    }
    if (type == DT_DIR) {
      size_t nameLength = strlen(name);
      if (length + 1 + nameLength + 1 > 4096) continue;
      path[length] = '/';
      memcpy(path + length + 1, name, nameLength + 1);
      Walk(path, length + 1 + nameLength);
      path[length] = '\0';
    } else if (type == DT_REG) {
      struct stat st;
      if (fstatat(dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      ++files;
      if (st.st_size == wanted) ++matches;
    }
  }
  closedir(dir);
}

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    fprintf(stderr, "usage: %s TREE [SIZE]\n", argv[0]);
    return 2;
  }
  if (argc == 3) wanted = atoll(argv[2]);
  static char path[4096];
  size_t length = strlen(argv[1]);
  if (length >= sizeof path) return 2;
  memcpy(path, argv[1], length + 1);
  while (length > 1 && path[length - 1] == '/') path[--length] = '\0';
  Walk(path, length);
  printf("%lu directories, %lu files, %lu of %lld bytes\n", directories, files, matches, wanted);
  return 0;
}
