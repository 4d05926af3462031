/* Counts what a program asks of SQLite, for the benchmark: loaded with
 * LD_PRELOAD into a program linked with the shared libsqlite3, it counts
 * statement executions (a statement stepped from its start: once per SELECT
 * however many rows it reads) and commits, and at exit writes
 *   statements N
 *   commits N
 * to the file named by TALVENOR_SQL_COUNT_FILE. With TALVENOR_SQL_COUNT_SHAPES
 * set it also writes one line per statement text (literals are parameters in
 * a cached statement, so a text is a shape): "count<TAB>sql". The program is
 * not changed; the cost is a counter per step. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static unsigned long long statements;
static unsigned long long commits;
static _Thread_local int inside_exec; /* sqlite3_exec steps its own statements */

/* Statement texts and their counts, in a small open-addressing table. */
enum { kShapes = 4096 };
static struct {
  char* sql;
  unsigned long long count;
} shapes[kShapes];
static int record_shapes = -1;

static void RecordShape(const char* sql) {
  if (record_shapes < 0) record_shapes = getenv("TALVENOR_SQL_COUNT_SHAPES") != NULL;
  if (!record_shapes || sql == NULL) return;
  unsigned long hash = 5381;
  for (const char* p = sql; *p; ++p) hash = hash * 33 + (unsigned char)*p;
  for (unsigned i = 0; i < kShapes; ++i) {
    unsigned slot = (unsigned)((hash + i) % kShapes);
    if (shapes[slot].sql == NULL) {
      shapes[slot].sql = strdup(sql);
      shapes[slot].count = 1;
      return;
    }
    if (strcmp(shapes[slot].sql, sql) == 0) {
      ++shapes[slot].count;
      return;
    }
  }
}

static int CountCommit(void* unused) {
  (void)unused;
  ++commits;
  return 0; /* let the commit go ahead */
}

/* Stores the next definition of `name` (SQLite's own) into the function
 * pointer at `slot`; written through memcpy because ISO C has no conversion
 * from the object pointer dlsym returns to a function pointer. */
static void Next(const char* name, void* slot, size_t size) {
  void* f = dlsym(RTLD_NEXT, name);
  if (f == NULL) {
    fprintf(stderr, "sqlite_counter: %s not found\n", name);
    abort();
  }
  memcpy(slot, &f, size);
}

int sqlite3_open_v2(const char* file, sqlite3** db, int flags, const char* vfs) {
  static int (*real)(const char*, sqlite3**, int, const char*);
  if (real == NULL) Next(__func__, &real, sizeof real);
  const int rc = real(file, db, flags, vfs);
  if (db != NULL && *db != NULL) sqlite3_commit_hook(*db, CountCommit, NULL);
  return rc;
}

int sqlite3_step(sqlite3_stmt* stmt) {
  static int (*real)(sqlite3_stmt*);
  if (real == NULL) Next(__func__, &real, sizeof real);
  if (!inside_exec && stmt != NULL && !sqlite3_stmt_busy(stmt)) {
    ++statements;
    RecordShape(sqlite3_sql(stmt));
  }
  return real(stmt);
}

int sqlite3_exec(sqlite3* db, const char* sql, int (*callback)(void*, int, char**, char**),
                 void* arg, char** error) {
  static int (*real)(sqlite3*, const char*, int (*)(void*, int, char**, char**), void*, char**);
  if (real == NULL) Next(__func__, &real, sizeof real);
  ++statements;
  RecordShape(sql);
  ++inside_exec;
  const int rc = real(db, sql, callback, arg, error);
  --inside_exec;
  return rc;
}

__attribute__((destructor)) static void WriteCounts(void) {
  const char* path = getenv("TALVENOR_SQL_COUNT_FILE");
  if (path == NULL) return;
  FILE* out = fopen(path, "w");
  if (out == NULL) return;
  fprintf(out, "statements %llu\ncommits %llu\n", statements, commits);
  for (unsigned i = 0; i < kShapes; ++i) {
    if (shapes[i].sql != NULL) fprintf(out, "%llu\t%s\n", shapes[i].count, shapes[i].sql);
  }
  fclose(out);
}
