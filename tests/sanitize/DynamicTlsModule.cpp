// A library with TLS_BYTES of thread-local data, reached through
// __tls_get_addr as any dlopen-loaded library's.
extern "C" char* TouchTls() {
  thread_local char data[TLS_BYTES];
  data[0] = 1;
  return data;
}
