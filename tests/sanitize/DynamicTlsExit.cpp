// Places the main thread's block of a dlopen-loaded library's thread-local
// data 16 bytes into a page, where GCC 12's sanitizer runtime would take the
// heap chunk header before it for the block's extent, and exits: the leak
// check must not die on that (exit status 0). Exits 77 when the heap does
// not let it place the block so.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

using TTouch = char* (*)();

TTouch Load(const char* path) {
  void* library = dlopen(path, RTLD_NOW);
  void* touch = library ? dlsym(library, "TouchTls") : nullptr;
  if (!touch) {
    std::fprintf(stderr, "%s\n", dlerror());
    std::exit(2);
  }
  return reinterpret_cast<TTouch>(touch);
}

// Blocks of the probe's size, kept reachable: the program leaks nothing.
void* g_kept[1 << 14];

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  // The filler takes the static TLS room glibc keeps for dlopen, so the
  // probe's block comes from the heap, as large as its data.
  Load(argv[1])();
  const TTouch probe = Load(argv[2]);
  // Same-sized blocks come one after the other: stop where the next starts
  // 16 bytes (the heap chunk header) into a page.
  std::uintptr_t last = 0;
  std::intptr_t step = 0;
  for (void*& kept : g_kept) {
    kept = std::malloc(32);
    const auto at = reinterpret_cast<std::uintptr_t>(kept);
    if (last != 0) step = static_cast<std::intptr_t>(at - last);
    last = at;
    if (step != 0 && (at + step) % 4096 == 16) break;
  }
  const auto block = reinterpret_cast<std::uintptr_t>(probe());
  if (block % 4096 != 16 || block != last + step) {
    std::printf("block at %#lx, not where placed: skipped\n", static_cast<unsigned long>(block));
    return 77;
  }
  std::printf("block at %#lx\n", static_cast<unsigned long>(block));
  return 0;
}
