/* Lets a 32-bit test program start 32-bit child programs on a machine whose
 * kernel cannot run them. The test runs under qemu-i386 with this library
 * preloaded (the emulator command of the i386 build); a plain execve of an
 * i386 program would fail with ENOEXEC there. The exec and spawn calls below
 * run such a program through the same emulator instead, preloading this
 * library into it too, so that its own children work the same way. Other
 * programs (the shell, native tools) are started unchanged.
 *
 * LD_PRELOAD is taken out of the environment when the library loads: the
 * native programs a test starts must not be handed a 32-bit library to
 * preload. It is passed to the emulator as an option instead.
 *
 * Everything here may run between fork and exec in a threaded program: no
 * allocation, only stack buffers and async-signal-safe calls. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#define EXPORT __attribute__((visibility("default")))

enum { kMaxArgs = 1024, kMaxPath = 4096 };

static const char kPreloadOption[] = "LD_PRELOAD=" KELVO_EXEC_SHIM;

typedef int ExecveFunc(const char*, char* const[], char* const[]);
typedef int SpawnFunc(pid_t*, const char*, const posix_spawn_file_actions_t*, const posix_spawnattr_t*,
                      char* const[], char* const[]);
/* The C library's own functions, looked up once at load: dlsym is not safe
 * between fork and exec. */
static ExecveFunc* realExecve;
static ExecveFunc* realExecvpe;
static SpawnFunc* realSpawn;
static SpawnFunc* realSpawnp;

__attribute__((constructor)) static void Start(void) {
  realExecve = (ExecveFunc*)dlsym(RTLD_NEXT, "execve");
  realExecvpe = (ExecveFunc*)dlsym(RTLD_NEXT, "execvpe");
  realSpawn = (SpawnFunc*)dlsym(RTLD_NEXT, "posix_spawn");
  realSpawnp = (SpawnFunc*)dlsym(RTLD_NEXT, "posix_spawnp");
  unsetenv("LD_PRELOAD");
}

/* Whether path names an ELF file for 32-bit x86. */
static int IsI386Program(const char* path) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  unsigned char header[20];
  ssize_t n = read(fd, header, sizeof header);
  close(fd);
  return n == (ssize_t)sizeof header && memcmp(header, "\177ELF", 4) == 0 &&
         header[4] == 1 /* ELFCLASS32 */ && header[18] == 3 /* EM_386 */ && header[19] == 0;
}

/* A name without a slash, found along PATH like execvp does; the name itself
 * otherwise. Gives 0 when nothing is found. */
static const char* Resolve(const char* file, char* buffer) {
  if (strchr(file, '/') != NULL) return file;
  const char* path = getenv("PATH");
  if (path == NULL) path = "/usr/local/bin:/usr/bin:/bin";
  const size_t fileLength = strlen(file);
  for (;;) {
    const char* end = strchr(path, ':');
    const size_t length = end ? (size_t)(end - path) : strlen(path);
    const char* dir = length == 0 ? "." : path;
    const size_t dirLength = length == 0 ? 1 : length;
    if (dirLength + fileLength + 2 <= kMaxPath) {
      memcpy(buffer, dir, dirLength);
      buffer[dirLength] = '/';
      memcpy(buffer + dirLength + 1, file, fileLength + 1);
      if (access(buffer, X_OK) == 0) return buffer;
    }
    if (end == NULL) return NULL;
    path = end + 1;
  }
}

/* emulator -E LD_PRELOAD=<this library> -0 argv[0] program argv[1]... */
static int EmulatedArgs(const char* program, char* const argv[], char** out) {
  int n = 0;
  out[n++] = (char*)KELVO_EXEC_EMULATOR;
  out[n++] = (char*)"-E";
  out[n++] = (char*)kPreloadOption;
  out[n++] = (char*)"-0";
  out[n++] = argv[0] ? argv[0] : (char*)program;
  out[n++] = (char*)program;
  for (int i = 1; argv[0] != NULL && argv[i] != NULL; ++i) {
    if (n == kMaxArgs - 1) return -1;
    out[n++] = argv[i];
  }
  out[n] = NULL;
  return 0;
}

EXPORT int execve(const char* path, char* const argv[], char* const envp[]) {
  if (IsI386Program(path)) {
    char* args[kMaxArgs];
    if (EmulatedArgs(path, argv, args) != 0) return errno = E2BIG, -1;
    return realExecve(KELVO_EXEC_EMULATOR, args, envp);
  }
  return realExecve(path, argv, envp);
}

EXPORT int execv(const char* path, char* const argv[]) { return execve(path, argv, environ); }

EXPORT int execvpe(const char* file, char* const argv[], char* const envp[]) {
  char buffer[kMaxPath];
  const char* path = Resolve(file, buffer);
  if (path != NULL && IsI386Program(path)) return execve(path, argv, envp);
  return realExecvpe(file, argv, envp);
}

EXPORT int execvp(const char* file, char* const argv[]) { return execvpe(file, argv, environ); }

EXPORT int posix_spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
                       const posix_spawnattr_t* attr, char* const argv[], char* const envp[]) {
  if (IsI386Program(path)) {
    char* args[kMaxArgs];
    if (EmulatedArgs(path, argv, args) != 0) return E2BIG;
    return realSpawn(pid, KELVO_EXEC_EMULATOR, actions, attr, args, envp);
  }
  return realSpawn(pid, path, actions, attr, argv, envp);
}

EXPORT int posix_spawnp(pid_t* pid, const char* file, const posix_spawn_file_actions_t* actions,
                        const posix_spawnattr_t* attr, char* const argv[], char* const envp[]) {
  char buffer[kMaxPath];
  const char* path = Resolve(file, buffer);
  if (path != NULL && IsI386Program(path)) return posix_spawn(pid, path, actions, attr, argv, envp);
  return realSpawnp(pid, file, actions, attr, argv, envp);
}
