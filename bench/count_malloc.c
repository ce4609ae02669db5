/* Counts the heap allocations of the whole program, zlib's included, by standing in for the C
   library's allocator entry points (glibc exports the real ones under __libc_ names). */
#include <stddef.h>

extern void* __libc_malloc(size_t size);
extern void* __libc_calloc(size_t count, size_t size);
extern void* __libc_realloc(void* block, size_t size);

long zin_allocations = 0;

void* malloc(size_t size) {
  ++zin_allocations;
  return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
  ++zin_allocations;
  return __libc_calloc(count, size);
}

void* realloc(void* block, size_t size) {
  ++zin_allocations;
  return __libc_realloc(block, size);
}
