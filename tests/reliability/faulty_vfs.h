#pragma once

// An SQLite VFS that wraps the default one and fails chosen calls the way a
// failing disk does, as SQLite's own test harness injects I/O errors: the
// N-th write, sync or exclusive lock after Arm (once, or from then on), or
// every write that would grow a file once a budget of grown bytes is spent
// (a full disk). Installed as the default VFS, so the engine under test
// opens its files through it unchanged.

#include <sqlite3.h>

#include <cstring>

namespace talvenor::reliability {

enum class VfsCall { kWrite, kSync, kLock };

class FaultyVfs {
 public:
  // Registers the VFS as the default, once per process.
  static void Install() {
    static const bool installed = [] {
      State& s = state();
      s.real = sqlite3_vfs_find(nullptr);
      s.vfs = *s.real;
      s.vfs.zName = "talvenor-faulty";
      s.vfs.szOsFile = static_cast<int>(sizeof(File)) + s.real->szOsFile;
      s.vfs.xOpen = &Open;
      return sqlite3_vfs_register(&s.vfs, /*makeDflt=*/1) == SQLITE_OK;
    }();
    (void)installed;
  }

  // Fails the `n`-th call of `call` from now on with `code` (n counts from 1;
  // 0 fails none); `lasting` fails every later one too. Counts start anew.
  static void Arm(VfsCall call, long n, int code, bool lasting = false) {
    State& s = state();
    s = State{s.real, s.vfs};
    s.call = call;
    s.fail_at = n;
    s.code = code;
    s.lasting = lasting;
  }
  // From now on, writes that grow a file fail with SQLITE_FULL once `bytes`
  // bytes of growth were written.
  static void Budget(long long bytes) {
    State& s = state();
    s = State{s.real, s.vfs};
    s.budget = bytes;
  }
  static void Disarm() { Arm(VfsCall::kWrite, 0, SQLITE_OK); }
  // Calls of the kind counted since the last Arm, and whether one failed.
  static long Count(VfsCall call) { return state().counts[static_cast<int>(call)]; }
  static bool Failed() { return state().failed; }

 private:
  struct State {
    sqlite3_vfs* real = nullptr;
    sqlite3_vfs vfs{};
    VfsCall call = VfsCall::kWrite;
    long fail_at = 0;
    int code = SQLITE_OK;
    bool lasting = false;
    long long budget = -1;  // -1: no limit
    long counts[3] = {0, 0, 0};
    bool failed = false;
  };
  struct File {
    sqlite3_file base;
    sqlite3_file* real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
  };

  static State& state() {
    static State s;
    return s;
  }
  static sqlite3_file* Real(sqlite3_file* f) { return reinterpret_cast<File*>(f)->real(); }

  // True when this call of `call` is to fail.
  static bool Strike(VfsCall call) {
    State& s = state();
    const long n = ++s.counts[static_cast<int>(call)];
    if (s.fail_at == 0 || call != s.call) return false;
    if (n == s.fail_at || (s.lasting && n > s.fail_at)) {
      s.failed = true;
      return true;
    }
    return false;
  }

  static int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags,
                  int* out_flags) {
    File* f = reinterpret_cast<File*>(file);
    std::memset(f, 0, sizeof(File));
    const int rc = state().real->xOpen(state().real, name, f->real(), flags, out_flags);
    f->base.pMethods = f->real()->pMethods != nullptr ? &kMethods : nullptr;
    return rc;
  }

  static int Close(sqlite3_file* f) { return Real(f)->pMethods->xClose(Real(f)); }
  static int Read(sqlite3_file* f, void* buffer, int amount, sqlite3_int64 offset) {
    return Real(f)->pMethods->xRead(Real(f), buffer, amount, offset);
  }
  static int Write(sqlite3_file* f, const void* buffer, int amount, sqlite3_int64 offset) {
    if (Strike(VfsCall::kWrite)) return state().code;
    State& s = state();
    if (s.budget >= 0) {
      sqlite3_int64 size = 0;
      Real(f)->pMethods->xFileSize(Real(f), &size);
      const sqlite3_int64 growth = offset + amount - size;
      if (growth > 0) {
        if (growth > s.budget) {
          s.failed = true;
          return SQLITE_FULL;
        }
        s.budget -= growth;
      }
    }
    return Real(f)->pMethods->xWrite(Real(f), buffer, amount, offset);
  }
  static int Truncate(sqlite3_file* f, sqlite3_int64 size) {
    return Real(f)->pMethods->xTruncate(Real(f), size);
  }
  static int Sync(sqlite3_file* f, int flags) {
    if (Strike(VfsCall::kSync)) return state().code;
    return Real(f)->pMethods->xSync(Real(f), flags);
  }
  static int FileSize(sqlite3_file* f, sqlite3_int64* size) {
    return Real(f)->pMethods->xFileSize(Real(f), size);
  }
  static int Lock(sqlite3_file* f, int level) {
    if (level == SQLITE_LOCK_EXCLUSIVE && Strike(VfsCall::kLock)) return state().code;
    return Real(f)->pMethods->xLock(Real(f), level);
  }
  static int Unlock(sqlite3_file* f, int level) {
    return Real(f)->pMethods->xUnlock(Real(f), level);
  }
  static int CheckReservedLock(sqlite3_file* f, int* out) {
    return Real(f)->pMethods->xCheckReservedLock(Real(f), out);
  }
  static int FileControl(sqlite3_file* f, int op, void* arg) {
    return Real(f)->pMethods->xFileControl(Real(f), op, arg);
  }
  static int SectorSize(sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); }
  static int DeviceCharacteristics(sqlite3_file* f) {
    return Real(f)->pMethods->xDeviceCharacteristics(Real(f));
  }
  static int ShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out) {
    return Real(f)->pMethods->xShmMap(Real(f), region, size, extend, out);
  }
  // In WAL mode the write lock is an exclusive lock of the shared memory.
  static int ShmLock(sqlite3_file* f, int offset, int n, int flags) {
    if ((flags & SQLITE_SHM_LOCK) != 0 && (flags & SQLITE_SHM_EXCLUSIVE) != 0 &&
        Strike(VfsCall::kLock)) {
      return state().code;
    }
    return Real(f)->pMethods->xShmLock(Real(f), offset, n, flags);
  }
  static void ShmBarrier(sqlite3_file* f) { Real(f)->pMethods->xShmBarrier(Real(f)); }
  static int ShmUnmap(sqlite3_file* f, int remove) {
    return Real(f)->pMethods->xShmUnmap(Real(f), remove);
  }
  static int Fetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** out) {
    return Real(f)->pMethods->xFetch(Real(f), offset, amount, out);
  }
  static int Unfetch(sqlite3_file* f, sqlite3_int64 offset, void* page) {
    return Real(f)->pMethods->xUnfetch(Real(f), offset, page);
  }

  static constexpr sqlite3_io_methods kMethods = {3,
                                                  &Close,
                                                  &Read,
                                                  &Write,
                                                  &Truncate,
                                                  &Sync,
                                                  &FileSize,
                                                  &Lock,
                                                  &Unlock,
                                                  &CheckReservedLock,
                                                  &FileControl,
                                                  &SectorSize,
                                                  &DeviceCharacteristics,
                                                  &ShmMap,
                                                  &ShmLock,
                                                  &ShmBarrier,
                                                  &ShmUnmap,
                                                  &Fetch,
                                                  &Unfetch};
};

}  // namespace talvenor::reliability
