// The path model, and the standard library's path-taking functions routed through it. The build
// links system code with --wrap for fopen, remove and rename, so a call such as
// remove("Z:\\TMP\\X.EXE") reaches the host file /tmp/X.EXE; host paths pass through unchanged.
// A file on a Windows path opened in text mode ("t" in the mode) gets a text stream as on Windows,
// so what the system writes in text mode has the same bytes on every platform.
#include <ctype.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/types.h>

#include "platform/posix/machine.h"

namespace machine {
namespace {

bool HasDriveLetter(const char* path) {
  return isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

// A Windows text-mode stream over an untranslated host file. Reading takes CR LF as LF and stops
// for good at a Ctrl-Z byte; writing puts CR LF for every LF. Writes go straight through (the
// stream has no buffer of its own), so each write of the system asks the fault switches, and a
// test can fail a file part-way; the close asks them too. Text streams cannot seek, which this
// system never needs.
struct TextStream {
  FILE* file;
  std::string path;  // the Windows path, for the fault switches
  bool ended;        // a Ctrl-Z was read: the text ends there
};

const int kCtrlZ = 0x1A;

ssize_t ReadText(void* cookie, char* buffer, size_t size) {
  TextStream* stream = static_cast<TextStream*>(cookie);
  size_t count = 0;
  while (count < size && !stream->ended) {
    int c = getc(stream->file);
    if (c == EOF) break;
    if (c == kCtrlZ) {
      stream->ended = true;
      break;
    }
    if (c == '\r') {
      int next = getc(stream->file);
      if (next == '\n') {
        c = '\n';
      } else if (next != EOF) {
        ungetc(next, stream->file);
      }
    }
    buffer[count++] = static_cast<char>(c);
  }
  if (count == 0 && ferror(stream->file)) {
    errno = EIO;
    return -1;
  }
  return static_cast<ssize_t>(count);
}

// Returns 0 for a failed write, as the stream's contract asks, never a negative count.
ssize_t WriteText(void* cookie, const char* buffer, size_t size) {
  TextStream* stream = static_cast<TextStream*>(cookie);
  if (Fails("write", stream->path.c_str())) {
    errno = ENOSPC;
    return 0;
  }
  for (size_t i = 0; i < size; ++i) {
    if ((buffer[i] == '\n' && putc('\r', stream->file) == EOF) || putc(buffer[i], stream->file) == EOF) return 0;
  }
  return static_cast<ssize_t>(size);
}

int CloseText(void* cookie) {
  TextStream* stream = static_cast<TextStream*>(cookie);
  bool failed = Fails("fclose", stream->path.c_str());
  if (fclose(stream->file) != 0) failed = true;
  delete stream;
  if (failed) errno = ENOSPC;
  return failed ? EOF : 0;
}

// `hostMode` is the mode without "t"; the host file is opened untranslated.
FILE* OpenTextStream(const char* path, const std::string& host, const std::string& hostMode,
                     FILE* (*open)(const char*, const char*)) {
  FILE* file = open(host.c_str(), (hostMode + "b").c_str());
  if (file == nullptr) return nullptr;
  bool update = hostMode.find('+') != std::string::npos;
  bool reads = hostMode[0] == 'r' && !update;
  // The host file already appends when asked to; the stream over it needs only the direction.
  const char* streamMode = update ? "r+" : reads ? "r" : "w";
  TextStream* stream = new TextStream{file, path, false};
  FILE* text = fopencookie(stream, streamMode, cookie_io_functions_t{ReadText, WriteText, nullptr, CloseText});
  if (text == nullptr) {
    fclose(file);
    delete stream;
    return nullptr;
  }
  if (!reads) setvbuf(text, nullptr, _IONBF, 0);
  return text;
}

}  // namespace

std::string HostPath(const char* path) {
  std::string rest;
  std::string host;
  if (HasDriveLetter(path)) {
    const Drive& drive = DriveOf(path[0]);
    if (drive.type == DRIVE_NO_ROOT_DIR || drive.root.empty()) return std::string();
    host = drive.root;
    if (host.back() == '/') host.pop_back();
    host += '/';
    rest = path + 2;
    if (!rest.empty() && (rest[0] == '\\' || rest[0] == '/')) rest.erase(0, 1);
  } else {
    rest = path;
  }
  for (char& c : rest) {
    if (c == '\\') c = '/';
  }
  return host + rest;
}

std::string WindowsPath(const std::string& hostPath) {
  if (hostPath.empty() || hostPath[0] != '/') return std::string();
  int best = -1;
  size_t bestLength = 0;
  const Machine& m = Current();
  for (int i = 0; i < 26; ++i) {
    const Drive& drive = m.drives[i];
    if (drive.type == DRIVE_NO_ROOT_DIR || drive.root.empty()) continue;
    std::string root = drive.root;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    size_t length = root == "/" ? 0 : root.size();
    bool holds = hostPath.compare(0, length, root, 0, length) == 0 &&
                 (hostPath.size() == length || hostPath[length] == '/');
    if (holds && (best < 0 || length > bestLength)) {
      best = i;
      bestLength = length;
    }
  }
  if (best < 0) return std::string();
  std::string windows(1, static_cast<char>('A' + best));
  windows += ":\\";
  size_t start = bestLength;
  while (start < hostPath.size() && hostPath[start] == '/') ++start;
  for (size_t i = start; i < hostPath.size(); ++i) windows += hostPath[i] == '/' ? '\\' : hostPath[i];
  return windows;
}

bool Fails(const char* operation, const char* path) {
  Faults& faults = Current().faults;
  if (faults.onlyWindowsPaths && path != nullptr && !HasDriveLetter(path)) return false;
  ++faults.calls;
  if (faults.failCall > 0 && faults.calls == faults.failCall) return true;
  if (path != nullptr && faults.failingPaths.count(path) != 0) return true;
  return faults.failing.count(operation) != 0;
}

}  // namespace machine

extern "C" {

FILE* __real_fopen(const char* path, const char* mode);
int __real_remove(const char* path);
int __real_rename(const char* from, const char* to);

FILE* __wrap_fopen(const char* path, const char* mode) {
  if (machine::Fails("fopen", path)) {
    errno = EACCES;
    return nullptr;
  }
  std::string host = machine::HostPath(path);
  if (host.empty()) {
    errno = ENOENT;
    return nullptr;
  }
  std::string hostMode;
  for (const char* c = mode; *c != '\0'; ++c) {
    if (*c != 't') hostMode += *c;
  }
  // Host paths are the test's and the user's own files: they stay untranslated.
  bool text = strchr(mode, 't') != nullptr && strchr(mode, 'b') == nullptr && machine::HasDriveLetter(path);
  if (text && !hostMode.empty()) return machine::OpenTextStream(path, host, hostMode, __real_fopen);
  return __real_fopen(host.c_str(), hostMode.c_str());
}

int __wrap_remove(const char* path) {
  if (machine::Fails("remove", path)) {
    errno = EACCES;
    return -1;
  }
  std::string host = machine::HostPath(path);
  if (host.empty()) {
    errno = ENOENT;
    return -1;
  }
  return __real_remove(host.c_str());
}

int __wrap_rename(const char* from, const char* to) {
  if (machine::Fails("rename", from)) {
    errno = EACCES;
    return -1;
  }
  std::string hostFrom = machine::HostPath(from);
  std::string hostTo = machine::HostPath(to);
  if (hostFrom.empty() || hostTo.empty()) {
    errno = ENOENT;
    return -1;
  }
  return __real_rename(hostFrom.c_str(), hostTo.c_str());
}

}  // extern "C"
