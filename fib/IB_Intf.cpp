// Loading the client library and resolving its entry points; the per-thread
// status vector.
#include "fib/IB_Intf.h"

#include <dlfcn.h>

#include <cerrno>
#include <cstring>

#include "runtime/Exceptions.h"
#include "runtime/Format.h"
#include "runtime/ScopeGuard.h"

std::string ClientLibraryFileName(const std::string& libraryName) {
  // The one place where the Windows name of the client meets this platform.
  if (libraryName == kDefaultLibraryName) return kFirebirdClientFile;
  return libraryName;
}

ISC_STATUS* StatusVector() noexcept {
  thread_local ISC_STATUS vector[ISC_STATUS_LENGTH] = {};
  return vector;
}

void IIBClientLibrary::RaiseMissing(const char* name) const {
  throw Exception(Format("Can't find procedure %s in %s", {name, m_libraryName}));
}

void SetExtendedPrecision() noexcept {}
void RestoreFPUControlWord() noexcept {}

namespace {

enum class TEntryGroup { Req, Opt, V6, Ver, VerOpt, Never };

// The platform's last-error exception for a failed symbol lookup. dlsym sets
// no errno of its own; dlerror's text is the system's description.
[[noreturn]] void RaiseLastOSError(const char* description) {
  const int code = errno;
  if (code == 0 && !description)
    throw EOSError("A call to an OS function failed", 0);
  throw EOSError(Format("System Error.  Code: %d.\r\n%s",
                        {code, description ? description : std::strerror(code)}),
                 code);
}

}  // namespace

TIBClientLibrary::TIBClientLibrary(const std::string& libraryName) : IIBClientLibrary(libraryName) {
  dlerror();
  // RTLD_NODELETE: the Firebird client leaves threads behind that may still
  // run its code after our last reference goes; its code must stay mapped.
  m_handle = dlopen(ClientLibraryFileName(libraryName).c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (!m_handle) throw Exception(Format("Can't load library %s ", {libraryName}));
  m_loaded = true;

  // Unload again if resolving fails: the constructor does not complete, so
  // the destructor will not run.
  TScopeGuard guard([this] { Unload(); });

  auto lookup = [this](const char* name) -> void* {
    dlerror();
    return dlsym(m_handle, name);
  };
  auto require = [&](const char* name) -> void* {
    errno = 0;
    void* p = lookup(name);
    if (!p) RaiseLastOSError(dlerror());
    return p;
  };

  // Pass 1: the always-required ones, in order.
#define FIB_RESOLVE_REQ(name, type, group, busy)                                    \
  if constexpr (TEntryGroup::group == TEntryGroup::Req)                             \
    m_entries.name = reinterpret_cast<type>(require(#name));
  FIB_ENTRY_POINTS(FIB_RESOLVE_REQ)
#undef FIB_RESOLVE_REQ

  // isc_rollback_retaining marks a 6.0 client with 11 more required ones.
  m_entries.isc_rollback_retaining =
      reinterpret_cast<decltype(m_entries.isc_rollback_retaining)>(lookup("isc_rollback_retaining"));
  if (m_entries.isc_rollback_retaining) {
    m_clientMajor = 6;
    m_clientMinor = 0;
#define FIB_RESOLVE_V6(name, type, group, busy)                                     \
  if constexpr (TEntryGroup::group == TEntryGroup::V6)                              \
    m_entries.name = reinterpret_cast<type>(require(#name));
    FIB_ENTRY_POINTS(FIB_RESOLVE_V6)
#undef FIB_RESOLVE_V6
  } else {
    m_clientMajor = 5;
    m_clientMinor = 0;
  }

  m_entries.isc_get_client_version =
      reinterpret_cast<decltype(m_entries.isc_get_client_version)>(lookup("isc_get_client_version"));
  if (m_entries.isc_get_client_version) {
#define FIB_RESOLVE_VER(name, type, group, busy)                                    \
  if constexpr (TEntryGroup::group == TEntryGroup::Ver)                             \
    m_entries.name = reinterpret_cast<type>(require(#name));                        \
  if constexpr (TEntryGroup::group == TEntryGroup::VerOpt)                          \
    m_entries.name = reinterpret_cast<type>(lookup(#name));
    FIB_ENTRY_POINTS(FIB_RESOLVE_VER)
#undef FIB_RESOLVE_VER
    m_clientMajor = m_entries.isc_get_client_major_version();
    m_clientMinor = m_entries.isc_get_client_minor_version();
  } else {
    m_clientMinor = 0;
  }

  SetExtendedPrecision();  // loading a library may have changed the FPU word
  guard.Dismiss();
}

TIBClientLibrary::~TIBClientLibrary() { Unload(); }

void TIBClientLibrary::Unload() noexcept {
  m_entries = TIBEntryPoints{};
  if (m_handle) {
    dlclose(m_handle);
    m_handle = nullptr;
  }
  m_loaded = false;
}

std::shared_ptr<IIBClientLibrary> LoadClientLibrary(const std::string& libraryName) {
  return std::make_shared<TIBClientLibrary>(libraryName);
}
