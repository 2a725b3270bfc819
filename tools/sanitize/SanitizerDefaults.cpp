// Run-time defaults of the sanitizer build, linked into each of its programs
// and tests; ASAN_OPTIONS still has the last word.
//
// intercept_tls_get_addr=0: GCC 12's sanitizer runtime notes each thread's
// dynamic TLS blocks (those of libraries loaded with dlopen: the Firebird
// client and its engine) for the leak check to scan, and when a block starts
// 16 bytes into a page it takes the 16 bytes before it for an old glibc's
// header holding the block's extent. Here glibc takes the block from the
// sanitizer's own heap, so those bytes are the heap chunk's header, and the
// "extent" begins at a small address (the allocating thread's number and a
// stack id). At exit the leak check's tracer reads it and dies ("Tracer
// caught signal 11: addr=0x1160"), and a run whose work was complete exits
// with status 1. Where a block lands follows the heap's whole history, so it
// struck at random. Without the notes the blocks are ordinary heap blocks,
// found and scanned through glibc's own per-thread table like any other.
extern "C" const char* __asan_default_options() { return "intercept_tls_get_addr=0"; }
