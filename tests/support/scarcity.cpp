// Scarce threads and memory on demand, loaded with LD_PRELOAD into a program under test, so that
// a run under a task limit or near the end of memory is exact instead of a matter of luck:
//   FOLIVANE_SCARCE_THREADS=N          thread starts after the first N fail with EAGAIN
//   FOLIVANE_SCARCE_MEMORY=BYTES       allocations of BYTES or more fail
//   FOLIVANE_SCARCE_MEMORY_ON=workers  ... on threads other than the main one only
#include <dlfcn.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
}

namespace {

long threadsLeft = -1;        // -1: no limit
std::size_t memoryLimit = 0;  // 0: no limit
bool workersOnly = false;
std::atomic<long> threadsStarted{0};

__attribute__((constructor)) void ReadScarcity() {
  if (const char* threads = std::getenv("FOLIVANE_SCARCE_THREADS")) threadsLeft = std::atol(threads);
  if (const char* memory = std::getenv("FOLIVANE_SCARCE_MEMORY")) memoryLimit = std::strtoull(memory, nullptr, 10);
  const char* on = std::getenv("FOLIVANE_SCARCE_MEMORY_ON");
  workersOnly = on && std::strcmp(on, "workers") == 0;
}

bool Refused(std::size_t size) {
  if (memoryLimit == 0 || size < memoryLimit) return false;
  return !workersOnly || gettid() != getpid();
}

}  // namespace

extern "C" {

void* malloc(std::size_t size) {
  if (Refused(size)) {
    errno = ENOMEM;
    return nullptr;
  }
  return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) {
  if (size != 0 && Refused(count * size)) {
    errno = ENOMEM;
    return nullptr;
  }
  return __libc_calloc(count, size);
}

void* realloc(void* pointer, std::size_t size) {
  if (Refused(size)) {
    errno = ENOMEM;
    return nullptr;
  }
  return __libc_realloc(pointer, size);
}

int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*), void* argument) {
  using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
  static const auto real = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
  if (threadsLeft >= 0 && threadsStarted.fetch_add(1) >= threadsLeft) return EAGAIN;
  return real(thread, attributes, start, argument);
}

}  // extern "C"
