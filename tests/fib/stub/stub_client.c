/* A stand-in client library for the loader tests: exports exactly the 46
   entry points every client has (an old 5.0 client). STUB_WITHOUT_ATTACH
   leaves out isc_attach_database; STUB_WITH_VERSION adds the client version
   functions of a newer client. The few calls a connect and a transaction
   make behave like a server that accepts everything and knows nothing. */
#include <string.h>

#define EXPORT __attribute__((visibility("default")))
typedef long STATUS; /* pointer-sized, as ISC_STATUS on this platform */

static void ok(STATUS* sv) { sv[0] = 1; sv[1] = 0; sv[2] = 0; }

#define STUB(name) EXPORT STATUS name(STATUS* sv) { ok(sv); return 0; }

EXPORT int BLOB_get(void* p) { (void)p; return -1; }
EXPORT int BLOB_put(char c, void* p) { (void)c; (void)p; return 0; }
EXPORT int isc_sqlcode(const STATUS* sv) { (void)sv; return -901; }
EXPORT void isc_sql_interprete(short code, char* buf, short len) {
  (void)code; if (len > 0) strncpy(buf, "stub sql message", (size_t)len);
}
EXPORT int isc_interprete(char* buf, STATUS** sv) { (void)sv; buf[0] = 0; return 0; }
EXPORT int isc_vax_integer(const char* p, short len) {
  int v = 0, shift = 0;
  for (short i = 0; i < len; ++i, shift += 8) v += (unsigned char)p[i] << shift;
  return v;
}
STUB(isc_blob_info)
STUB(isc_open_blob2)
STUB(isc_close_blob)
STUB(isc_get_segment)
STUB(isc_put_segment)
STUB(isc_create_blob2)
EXPORT void isc_decode_date(const void* q, void* tm) { (void)q; (void)tm; }
EXPORT void isc_encode_date(const void* tm, void* q) { (void)q; (void)tm; }
STUB(isc_dsql_free_statement)
STUB(isc_dsql_execute2)
STUB(isc_dsql_execute)
STUB(isc_dsql_set_cursor_name)
STUB(isc_dsql_fetch)
STUB(isc_dsql_sql_info)
STUB(isc_dsql_alloc_statement2)
STUB(isc_dsql_prepare)
STUB(isc_dsql_describe_bind)
STUB(isc_dsql_describe)
STUB(isc_dsql_execute_immediate)
STUB(isc_dsql_exec_immed2)
STUB(isc_drop_database)
EXPORT STATUS isc_detach_database(STATUS* sv, unsigned* h) { ok(sv); *h = 0; return 0; }
#ifndef STUB_WITHOUT_ATTACH
EXPORT STATUS isc_attach_database(STATUS* sv, short n, const char* name, unsigned* h, short dl,
                                  const char* dpb) {
  (void)n; (void)name; (void)dl; (void)dpb; ok(sv); *h = 1; return 0;
}
#endif
/* Every item is answered with isc_info_end: the server says nothing. */
EXPORT STATUS isc_database_info(STATUS* sv, unsigned* h, short il, const char* items, short bl,
                                char* buf) {
  (void)h; (void)il; (void)items; ok(sv); if (bl > 0) memset(buf, 1, (size_t)bl); return 0;
}
EXPORT STATUS isc_start_multiple(STATUS* sv, unsigned* h, short n, void* teb) {
  (void)n; (void)teb; ok(sv); *h = 7; return 0;
}
EXPORT STATUS isc_commit_transaction(STATUS* sv, unsigned* h) { ok(sv); *h = 0; return 0; }
STUB(isc_commit_retaining)
EXPORT STATUS isc_rollback_transaction(STATUS* sv, unsigned* h) { ok(sv); *h = 0; return 0; }
STUB(isc_cancel_events)
STUB(isc_que_events)
STUB(isc_event_counts)
STUB(isc_event_block)
STUB(isc_free)
STUB(isc_array_lookup_bounds)
STUB(isc_array_get_slice)
STUB(isc_array_put_slice)
STUB(isc_wait_for_event)
STUB(isc_transaction_info)
STUB(isc_prepare_transaction)
STUB(isc_prepare_transaction2)

#ifdef STUB_WITH_VERSION
EXPORT void isc_get_client_version(char* buf) { strcpy(buf, "stub 9.7"); }
EXPORT int isc_get_client_major_version(void) { return 9; }
EXPORT int isc_get_client_minor_version(void) { return 7; }
#endif
