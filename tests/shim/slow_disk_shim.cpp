// Preloaded into tapewell-rec by the fault tests to widen two windows that
// are too narrow to hit by chance:
//   TAPEWELL_SHIM_CREATE_DELAY_MS=N  sleeps N ms before a .wav file is
//       opened for writing, i.e. between the recorder's check that the name
//       is free and its create, so that recorders started together race;
//   TAPEWELL_SHIM_STALL_WRITE=K and TAPEWELL_SHIM_STALL_SECONDS=S  make
//       the K-th whole block written (409,600 bytes) take S seconds longer,
//       as a disk that stalls;
//   TAPEWELL_SHIM_BLOCK_DELAY_MS=N  makes every whole block take N ms longer,
//       as a slow USB stick (or, past 2,133 ms, a disk slower than the take);
//   TAPEWELL_SHIM_FAIL_TMP_OPEN=K  makes the K-th create of a ".tmp" file (a
//       track list being rewritten) fail with ENOSPC, as a full disk.
// The block delays apply to the C library's write calls as well, for a
// program under Wine, whose file writes reach the system as write/pwrite.
// Nothing else changes: every call goes on to the C library's own.
// <cstdio> is left out on purpose: with 64-bit file offsets it renames
// fopen to fopen64, and both are defined here under their own names.
#include <dlfcn.h>
#include <errno.h>
#include <sys/types.h>
#include <time.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

struct _IO_FILE;
using FILE = _IO_FILE;

namespace {

long Setting(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::strtol(value, nullptr, 10) : 0;
}

void SleepMs(long ms) {
  struct timespec t = {ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&t, &t) != 0) {
  }
}

// False when this create is to fail.
bool DelayCreate(const char* path, const char* mode) {
  static long tmpCreates = 0;
  const size_t n = path ? std::strlen(path) : 0;
  if (mode && mode[0] == 'w' && n > 4 && std::strcmp(path + n - 4, ".wav") == 0) {
    SleepMs(Setting("TAPEWELL_SHIM_CREATE_DELAY_MS"));
  }
  if (mode && mode[0] == 'w' && n > 4 && std::strcmp(path + n - 4, ".tmp") == 0 &&
      ++tmpCreates == Setting("TAPEWELL_SHIM_FAIL_TMP_OPEN")) {
    errno = ENOSPC;
    return false;
  }
  return true;
}

// Sleeps as the settings say when `bytes` is a whole block.
void DelayBlock(size_t bytes) {
  static long blocks = 0;
  if (bytes != 409600) return;
  SleepMs(Setting("TAPEWELL_SHIM_BLOCK_DELAY_MS"));
  if (++blocks == Setting("TAPEWELL_SHIM_STALL_WRITE")) SleepMs(1000 * Setting("TAPEWELL_SHIM_STALL_SECONDS"));
}

using OpenFn = FILE* (*)(const char*, const char*);
using WriteFn = size_t (*)(const void*, size_t, size_t, FILE*);
using SysWriteFn = ssize_t (*)(int, const void*, size_t);
using SysPwriteFn = ssize_t (*)(int, const void*, size_t, off_t);

}  // namespace

extern "C" {

FILE* fopen(const char* path, const char* mode) {
  if (!DelayCreate(path, mode)) return nullptr;
  return (reinterpret_cast<OpenFn>(dlsym(RTLD_NEXT, "fopen")))(path, mode);
}

FILE* fopen64(const char* path, const char* mode) {
  if (!DelayCreate(path, mode)) return nullptr;
  return (reinterpret_cast<OpenFn>(dlsym(RTLD_NEXT, "fopen64")))(path, mode);
}

size_t fwrite(const void* data, size_t size, size_t count, FILE* file) {
  DelayBlock(size * count);
  return reinterpret_cast<WriteFn>(dlsym(RTLD_NEXT, "fwrite"))(data, size, count, file);
}

ssize_t write(int fd, const void* data, size_t bytes) {
  DelayBlock(bytes);
  return reinterpret_cast<SysWriteFn>(dlsym(RTLD_NEXT, "write"))(fd, data, bytes);
}

ssize_t pwrite(int fd, const void* data, size_t bytes, off_t offset) {
  DelayBlock(bytes);
  return reinterpret_cast<SysPwriteFn>(dlsym(RTLD_NEXT, "pwrite"))(fd, data, bytes, offset);
}

ssize_t pwrite64(int fd, const void* data, size_t bytes, off_t offset) {
  DelayBlock(bytes);
  return reinterpret_cast<SysPwriteFn>(dlsym(RTLD_NEXT, "pwrite64"))(fd, data, bytes, offset);
}

}  // extern "C"
