// Binding to the Firebird client library: loads it at run time by file name,
// resolves its C entry points by name and forwards calls to them; plus the
// per-thread status vector that every client call fills.
#pragma once

// ibase.h is used for the client's types only; the library itself is never
// linked, it is opened with dlopen when a database first needs it.
#include <ibase.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "runtime/ScopeGuard.h"

// The library name a new database carries. It is kept for compatibility of
// stored settings; ClientLibraryFileName() maps it to this platform's file.
inline constexpr const char* kDefaultLibraryName = "gds32.dll";
// The file the default name stands for on this platform.
inline constexpr const char* kFirebirdClientFile = "libfbclient.so.2";

// The file handed to the dynamic loader for a LibraryName: the default name
// becomes kFirebirdClientFile, every other name goes to the loader unchanged.
std::string ClientLibraryFileName(const std::string& libraryName);

// The calling thread's status vector (ISC_STATUS_LENGTH = 20 entries of the
// client ABI's ISC_STATUS, pointer-sized on this platform). Pass it as the
// status argument of every client call; it keeps the outcome of the last call
// made on this thread until the next one overwrites it.
ISC_STATUS* StatusVector() noexcept;

// Types of the entry points that ibase.h does not declare (InterBase-only).
using isc_dsql_batch_execute_immed_fn = ISC_STATUS (*)(ISC_STATUS*, isc_db_handle*, isc_tr_handle*,
                                                       unsigned short, long, char**);
using isc_dsql_batch_execute_fn = ISC_STATUS (*)(ISC_STATUS*, isc_tr_handle*, isc_stmt_handle*,
                                                 unsigned short, XSQLDA*, void*, ISC_LONG*);
// isc_interprete is marked deprecated in ibase.h; its type is spelled out so
// that taking it does not warn.
using isc_interprete_fn = ISC_LONG (*)(ISC_SCHAR*, ISC_STATUS**);

// Every entry point the layer knows, in the order it is resolved at load time.
// X(name, type, group, busy):
//   group Req  - always required (the 46 of every client),
//         Opt  - looked up without failing,
//         V6   - required once isc_rollback_retaining is present,
//         Ver  - required once isc_get_client_version is present,
//         Never - never resolved (calling it raises "Can't find procedure").
//   busy  1 when a forwarded call sets the busy flag, 0 when it leaves it alone.
#define FIB_ENTRY_POINTS(X)                                                              \
  X(BLOB_get, decltype(&::BLOB_get), Req, 0)                                             \
  X(BLOB_put, decltype(&::BLOB_put), Req, 0)                                             \
  X(isc_sqlcode, decltype(&::isc_sqlcode), Req, 1)                                       \
  X(isc_sql_interprete, decltype(&::isc_sql_interprete), Req, 1)                         \
  X(isc_interprete, isc_interprete_fn, Req, 1)                                           \
  X(isc_vax_integer, decltype(&::isc_vax_integer), Req, 1)                               \
  X(isc_blob_info, decltype(&::isc_blob_info), Req, 1)                                   \
  X(isc_open_blob2, decltype(&::isc_open_blob2), Req, 1)                                 \
  X(isc_close_blob, decltype(&::isc_close_blob), Req, 1)                                 \
  X(isc_get_segment, decltype(&::isc_get_segment), Req, 1)                               \
  X(isc_put_segment, decltype(&::isc_put_segment), Req, 1)                               \
  X(isc_create_blob2, decltype(&::isc_create_blob2), Req, 1)                             \
  X(isc_decode_date, decltype(&::isc_decode_date), Req, 1)                               \
  X(isc_encode_date, decltype(&::isc_encode_date), Req, 1)                               \
  X(isc_dsql_free_statement, decltype(&::isc_dsql_free_statement), Req, 1)               \
  X(isc_dsql_execute2, decltype(&::isc_dsql_execute2), Req, 1)                           \
  X(isc_dsql_execute, decltype(&::isc_dsql_execute), Req, 1)                             \
  X(isc_dsql_set_cursor_name, decltype(&::isc_dsql_set_cursor_name), Req, 1)             \
  X(isc_dsql_fetch, decltype(&::isc_dsql_fetch), Req, 1)                                 \
  X(isc_dsql_sql_info, decltype(&::isc_dsql_sql_info), Req, 1)                           \
  X(isc_dsql_alloc_statement2, decltype(&::isc_dsql_alloc_statement2), Req, 1)           \
  X(isc_dsql_prepare, decltype(&::isc_dsql_prepare), Req, 1)                             \
  X(isc_dsql_describe_bind, decltype(&::isc_dsql_describe_bind), Req, 1)                 \
  X(isc_dsql_describe, decltype(&::isc_dsql_describe), Req, 1)                           \
  X(isc_dsql_execute_immediate, decltype(&::isc_dsql_execute_immediate), Req, 1)         \
  X(isc_dsql_exec_immed2, decltype(&::isc_dsql_exec_immed2), Req, 1)                     \
  X(isc_drop_database, decltype(&::isc_drop_database), Req, 1)                           \
  X(isc_detach_database, decltype(&::isc_detach_database), Req, 1)                       \
  X(isc_attach_database, decltype(&::isc_attach_database), Req, 1)                       \
  X(isc_database_info, decltype(&::isc_database_info), Req, 1)                           \
  X(isc_start_multiple, decltype(&::isc_start_multiple), Req, 1)                         \
  X(isc_commit_transaction, decltype(&::isc_commit_transaction), Req, 1)                 \
  X(isc_commit_retaining, decltype(&::isc_commit_retaining), Req, 1)                     \
  X(isc_rollback_transaction, decltype(&::isc_rollback_transaction), Req, 1)             \
  X(isc_cancel_events, decltype(&::isc_cancel_events), Req, 1)                           \
  X(isc_que_events, decltype(&::isc_que_events), Req, 1)                                 \
  X(isc_event_counts, decltype(&::isc_event_counts), Req, 1)                             \
  X(isc_event_block, decltype(&::isc_event_block), Req, 1)                               \
  X(isc_free, decltype(&::isc_free), Req, 1)                                             \
  X(isc_array_lookup_bounds, decltype(&::isc_array_lookup_bounds), Req, 0)               \
  X(isc_array_get_slice, decltype(&::isc_array_get_slice), Req, 0)                       \
  X(isc_array_put_slice, decltype(&::isc_array_put_slice), Req, 0)                       \
  X(isc_wait_for_event, decltype(&::isc_wait_for_event), Req, 1)                         \
  X(isc_transaction_info, decltype(&::isc_transaction_info), Req, 1)                     \
  X(isc_prepare_transaction, decltype(&::isc_prepare_transaction), Req, 1)               \
  X(isc_prepare_transaction2, decltype(&::isc_prepare_transaction2), Req, 1)             \
  X(isc_rollback_retaining, decltype(&::isc_rollback_retaining), Opt, 1)                 \
  X(isc_service_attach, decltype(&::isc_service_attach), V6, 1)                          \
  X(isc_service_detach, decltype(&::isc_service_detach), V6, 1)                          \
  X(isc_service_query, decltype(&::isc_service_query), V6, 1)                            \
  X(isc_service_start, decltype(&::isc_service_start), V6, 1)                            \
  X(isc_decode_sql_date, decltype(&::isc_decode_sql_date), V6, 1)                        \
  X(isc_decode_sql_time, decltype(&::isc_decode_sql_time), V6, 1)                        \
  X(isc_decode_timestamp, decltype(&::isc_decode_timestamp), V6, 1)                      \
  X(isc_encode_sql_date, decltype(&::isc_encode_sql_date), V6, 1)                        \
  X(isc_encode_sql_time, decltype(&::isc_encode_sql_time), V6, 1)                        \
  X(isc_encode_timestamp, decltype(&::isc_encode_timestamp), V6, 1)                      \
  X(isc_portable_integer, decltype(&::isc_portable_integer), V6, 1)                      \
  X(isc_get_client_version, decltype(&::isc_get_client_version), Opt, 1)                 \
  X(isc_get_client_major_version, decltype(&::isc_get_client_major_version), Ver, 1)     \
  X(isc_get_client_minor_version, decltype(&::isc_get_client_minor_version), Ver, 1)     \
  X(isc_dsql_batch_execute_immed, isc_dsql_batch_execute_immed_fn, VerOpt, 1)            \
  X(isc_dsql_batch_execute, isc_dsql_batch_execute_fn, VerOpt, 1)                        \
  X(fb_cancel_operation, decltype(&::fb_cancel_operation), VerOpt, 0)                    \
  X(fb_shutdown_callback, decltype(&::fb_shutdown_callback), VerOpt, 0)                  \
  X(isc_array_lookup_desc, decltype(&::isc_array_lookup_desc), Never, 0)                 \
  X(isc_array_set_desc, decltype(&::isc_array_set_desc), Never, 0)

// The resolved addresses, one per entry point; null where not resolved.
struct TIBEntryPoints {
#define FIB_DECLARE_ENTRY(name, type, group, busy) type name = nullptr;
  FIB_ENTRY_POINTS(FIB_DECLARE_ENTRY)
#undef FIB_DECLARE_ENTRY
};

// The client library as the rest of the layer sees it: its name, the client
// version, the busy flag and one forwarding operation per entry point, named
// after it and taking its arguments. A forwarding operation returns the
// entry point's result unchanged and raises nothing itself, except
// Exception("Can't find procedure <name> in <library>") for an entry point
// that was not resolved. Checking the result is the caller's business.
//
// Shared (std::shared_ptr) between the database that created it and the
// transactions and statements that use it; the library is unloaded when the
// last holder lets go.
class IIBClientLibrary {
 public:
  virtual ~IIBClientLibrary() = default;
  IIBClientLibrary(const IIBClientLibrary&) = delete;
  IIBClientLibrary& operator=(const IIBClientLibrary&) = delete;

  const std::string& LibraryName() const noexcept { return m_libraryName; }
  int ClientMajorVersion() const noexcept { return m_clientMajor; }
  int ClientMinorVersion() const noexcept { return m_clientMinor; }
  // 1 while a forwarded call is inside the client library.
  uint8_t Busy() const noexcept { return m_busy; }
  // Unloads the library; every entry point is null afterwards.
  virtual void Unload() noexcept {}
  bool IsLoaded() const noexcept { return m_loaded; }

#define FIB_FORWARDER(name, type, group, busy)                                  \
  template <class... Args>                                                      \
  decltype(auto) name(Args&&... args) {                                         \
    return Forward<busy>(m_entries.name, #name, std::forward<Args>(args)...);   \
  }
  FIB_ENTRY_POINTS(FIB_FORWARDER)
#undef FIB_FORWARDER

  // Read access to the table (tests and diagnostics).
  const TIBEntryPoints& EntryPoints() const noexcept { return m_entries; }

 protected:
  // For the loader and for fakes that fill the table by hand.
  explicit IIBClientLibrary(std::string libraryName) : m_libraryName(std::move(libraryName)) {}

  TIBEntryPoints m_entries;
  std::string m_libraryName;
  int m_clientMajor = 0;
  int m_clientMinor = 0;
  bool m_loaded = false;
  uint8_t m_busy = 0;

 private:
  [[noreturn]] void RaiseMissing(const char* name) const;

  template <int SetsBusy, class Fn, class... Args>
  decltype(auto) Forward(Fn fn, const char* name, Args&&... args) {
    if (!fn) RaiseMissing(name);
    if constexpr (SetsBusy) {
      // The flag drops back on every path, also when the call unwinds.
      m_busy = 1;
      const TScopeGuard guard([this] { m_busy = 0; });
      return fn(std::forward<Args>(args)...);
    } else {
      return fn(std::forward<Args>(args)...);
    }
  }
};

// The loaded client library.
class TIBClientLibrary final : public IIBClientLibrary {
 public:
  // Loads libraryName (through ClientLibraryFileName) and resolves the entry
  // points. Raises Exception("Can't load library <name> ") when the loader
  // fails, EOSError("System Error.  Code: ...") when a required entry point
  // is missing.
  explicit TIBClientLibrary(const std::string& libraryName);
  ~TIBClientLibrary() override;
  void Unload() noexcept override;

 private:
  void* m_handle = nullptr;  // dlopen handle; owned
};

// Creates the library object for a database (see TIBClientLibrary).
std::shared_ptr<IIBClientLibrary> LoadClientLibrary(const std::string& libraryName);

// Sets the x87 precision control back to extended precision / the control word
// to the run-time default. No-ops where the FPU has no such word (x86-64 uses
// SSE for doubles; the x87 steps of the original platform do not apply).
void SetExtendedPrecision() noexcept;
void RestoreFPUControlWord() noexcept;
