// Descriptor areas and the structural side of their variables: raw slots and
// buffers, null state, the raw writers that reach every namesake, name
// registration and lookup, and initialisation after a describe.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "fib/FIBDatabase.h"
#include "fib/FIBQuery.h"
#include "fib/fib.h"
#include "runtime/CodePage.h"
#include "runtime/ScopeGuard.h"

namespace {

// Bytes of the value buffer a slot of this type and sqllen needs.
int BufferSize(short type, int sqllen) {
  switch (type) {
    case SQL_VARYING: return sqllen + 2;
    case SQL_TEXT: return std::max(sqllen, 1);
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
    case SQL_TIMESTAMP:
    case SQL_BLOB:
    case SQL_ARRAY:
    case SQL_QUAD:
    case SQL_INT64: return 8;
    case SQL_FLOAT:
    case SQL_LONG:
    case SQL_TYPE_TIME:
    case SQL_TYPE_DATE: return 4;
    case SQL_SHORT:
    case SQL_IB_BOOLEAN: return 2;
    default: return -1;
  }
}

std::string NameKey(std::string_view name) { return AnsiUpperCase(name); }

}  // namespace

// ---------------------------------------------------------------------------
// TFIBXSQLVAR: structure

TFIBXSQLVAR::TFIBXSQLVAR(TFIBXSQLDA* parent, TFIBQuery* query, int index)
    : m_index(index), m_query(query), m_parent(parent) {}

short TFIBXSQLVAR::DeclaredType() const {
  if (m_declType == 0 && m_parent->IsParams() && m_query && m_query->Prepared() &&
      m_parent == m_query->m_params.get()) {
    // A user parameter learns its declared type from the prepared namesake.
    TFIBXSQLDA& prepared = *m_query->m_preparedParams;
    const int i = prepared.FindNameIndex(m_name);
    if (i >= 0) {
      auto* self = const_cast<TFIBXSQLVAR*>(this);
      const TFIBXSQLVAR& p = *prepared.m_vars[static_cast<size_t>(i)];
      self->m_declType = p.m_declType;
      self->m_declSubtype = p.m_declSubtype;
      self->m_declLen = p.m_declLen;
      self->m_declScale = p.m_declScale;
    }
  }
  return m_declType;
}

bool TFIBXSQLVAR::IsColumn() const { return !m_parent->IsParams(); }

bool TFIBXSQLVAR::InEmptyResult() const {
  return m_query && m_query->RecordCount() == 0 && m_query->SQLType() != SQLExecProcedure;
}

void TFIBXSQLVAR::RepointSlot(XSQLVAR* slot) {
  m_xvar = slot;
  m_xvar->sqldata = m_data.empty() ? nullptr : m_data.data();
  m_xvar->sqlind = (m_xvar->sqltype & 1) ? &m_ind : nullptr;
}

void TFIBXSQLVAR::ResizeData(int length) {
  const size_t n = static_cast<size_t>(std::max(length, 1));
  if (m_data.size() != n) m_data.resize(n, 0);
  m_xvar->sqldata = m_data.data();
}

void TFIBXSQLVAR::ResetUntyped() {
  m_xvar->sqltype = 0;
  m_xvar->sqlscale = 0;
  m_xvar->sqlsubtype = 0;
  m_xvar->sqllen = 0;
  m_xvar->sqlind = nullptr;
  m_ind = -1;
  m_typed = false;
  m_declType = m_declSubtype = m_declLen = m_declScale = 0;
  m_blobStream.reset();
  m_wideText.reset();
  m_deferred = false;
}

void TFIBXSQLVAR::SwapSavedValue() {
  XSQLVAR& x = *m_xvar;
  std::swap(x.sqltype, m_saved.sqltype);
  std::swap(x.sqlscale, m_saved.sqlscale);
  std::swap(x.sqlsubtype, m_saved.sqlsubtype);
  std::swap(x.sqllen, m_saved.sqllen);
  std::swap(m_ind, m_saved.ind);
  m_data.swap(m_saved.data);
  m_blobStream.swap(m_saved.blobStream);
  m_wideText.swap(m_saved.wideText);
  RepointSlot(m_xvar);
}

const Variant& TFIBXSQLVAR::OldValue() const {
  if (m_saved.pending) {
    // Read with the saved state in the slot, then the current one back.
    auto& self = const_cast<TFIBXSQLVAR&>(*this);
    self.SwapSavedValue();
    const TScopeGuard back([&self] { self.SwapSavedValue(); });
    try {
      self.m_oldValue = AsVariant();
    } catch (const Exception&) {
      self.m_oldValue = Variant();
    }
    self.m_saved.pending = false;
  }
  return m_oldValue;
}

void TFIBXSQLVAR::SetOldValue(const Variant& v) {
  m_oldValue = v;
  m_saved.pending = false;
}

void TFIBXSQLVAR::CopyStateFrom(const TFIBXSQLVAR& other) {
  const XSQLVAR& o = *other.m_xvar;
  m_xvar->sqltype = o.sqltype;
  m_xvar->sqlscale = o.sqlscale;
  m_xvar->sqlsubtype = o.sqlsubtype;
  m_xvar->sqllen = o.sqllen;
  m_data = other.m_data;
  m_ind = other.m_ind;
  m_typed = other.m_typed;
  m_modified = other.m_modified;
  SetOldValue(other.OldValue());
  m_wideText = other.m_wideText;
  m_deferred = other.m_deferred;
  m_blobStream = other.m_blobStream;
  RepointSlot(m_xvar);
}

void TFIBXSQLVAR::LoadFromStream(std::string_view content) {
  Change c{Action::Data};
  c.type = SQL_BLOB;
  ISC_QUAD zero{};
  c.length = 8;
  c.bytes = &zero;
  Apply(c);
  auto load = [&](TFIBXSQLVAR& v) {
    v.m_blobStream = std::string(content);
  };
  load(*this);
  if (const auto* others = m_parent->Namesakes(m_index))
    for (int i : *others) load(*m_parent->m_vars[static_cast<size_t>(i)]);
  if (m_query) m_query->m_hasBlobParams = true;
}

void TFIBXSQLVAR::ConversionError() const { FIBError(feInvalidDataConversion); }

// ---------------------------------------------------------------------------
// TFIBXSQLVAR: raw writers

void TFIBXSQLVAR::ApplyOne(const Change& c) {
  XSQLVAR& x = *m_xvar;
  switch (c.action) {
    case Action::Null:
      if (c.flag) {
        if ((x.sqltype & ~1) == 0) {
          x.sqltype = SQL_TEXT;
          x.sqllen = 0;
          ResizeData(1);
        }
        if (!(x.sqltype & 1)) x.sqltype = static_cast<short>(x.sqltype | 1);
        m_ind = -1;
        x.sqlind = &m_ind;
        m_blobStream.reset();
      } else if (x.sqltype & 1) {
        m_ind = 0;
      }
      m_modified = true;
      break;
    case Action::Nullable:
      if (c.flag) {
        x.sqltype = static_cast<short>(x.sqltype | 1);
        x.sqlind = &m_ind;
      } else {
        x.sqltype = static_cast<short>(x.sqltype & ~1);
        x.sqlind = nullptr;
        m_ind = 0;
      }
      break;
    case Action::Scale:
      x.sqlscale = c.scale;
      break;
    case Action::Data: {
      if (x.sqltype & 1) m_ind = 0;
      x.sqlscale = 0;
      const short nullableBit = static_cast<short>(x.sqltype & 1);
      const int bufLen = c.type == SQL_VARYING ? c.length + 2 : c.length;
      if (c.length == 0) {
        x.sqllen = 0;
        ResizeData(c.type == SQL_VARYING ? 2 : 1);
        std::fill(m_data.begin(), m_data.end(), 0);
      } else {
        if (c.length != SlotLength(x) || static_cast<int>(m_data.size()) < bufLen) {
          x.sqllen = static_cast<short>(c.length);
        }
        ResizeData(bufLen);
      }
      x.sqltype = static_cast<short>(c.type | nullableBit);
      if (c.length > 0 && c.bytes) std::memcpy(m_data.data(), c.bytes, static_cast<size_t>(bufLen));
      m_modified = true;
      break;
    }
    case Action::Raw: {
      const XSQLVAR& s = *c.raw;
      x.sqltype = s.sqltype;
      x.sqlscale = s.sqlscale;
      x.sqlsubtype = s.sqlsubtype;
      x.sqllen = s.sqllen;
      const int size = BufferSize(static_cast<short>(s.sqltype & ~1), SlotLength(s));
      if (size > 0) {
        ResizeData(size);
        if (s.sqldata) std::memcpy(m_data.data(), s.sqldata, static_cast<size_t>(size));
      }
      const bool isNull = (s.sqltype & 1) && s.sqlind && *s.sqlind == -1;
      m_ind = isNull ? -1 : 0;
      x.sqlind = (x.sqltype & 1) ? &m_ind : nullptr;
      m_modified = true;
      break;
    }
  }
  m_typed = true;
}

void TFIBXSQLVAR::Apply(const Change& c) {
  // A new value replaces a pending blob text and the last wide text.
  auto one = [&](TFIBXSQLVAR& v) {
    v.ApplyOne(c);
    if (c.action == Action::Data || c.action == Action::Raw) {
      v.m_blobStream.reset();
      v.m_wideText.reset();
    }
  };
  one(*this);
  if (const auto* others = m_parent->Namesakes(m_index))
    for (int i : *others) one(*m_parent->m_vars[static_cast<size_t>(i)]);
}

void TFIBXSQLVAR::SetIsNull(bool value) {
  Change c{Action::Null};
  c.flag = value;
  Apply(c);
  if (value) {
    m_wideText.reset();
    if (const auto* others = m_parent->Namesakes(m_index))
      for (int i : *others) m_parent->m_vars[static_cast<size_t>(i)]->m_wideText.reset();
  }
}

void TFIBXSQLVAR::SetIsNullable(bool value) {
  Change c{Action::Nullable};
  c.flag = value;
  Apply(c);
}

void TFIBXSQLVAR::SetRawValue(short sqlType, int length, const void* bytes) {
  // Longer values cannot be described to the client: the 16-bit length would
  // read as negative and the library would copy from far outside the buffer.
  if (length < 0 || length > kMaxSentValueBytes)
    FIBErrorText("Value of parameter \"%s\" is too long (%d bytes, at most %d).",
                 {m_name, length, kMaxSentValueBytes});
  const short type = static_cast<short>(sqlType & ~1);
  if (OverwriteInPlace(type, length, bytes)) return;
  Change c{Action::Data};
  c.type = type;
  c.length = length;
  c.bytes = bytes;
  Apply(c);
}

void TFIBXSQLVAR::SetScale(short scale) {
  Change c{Action::Scale};
  c.scale = scale;
  Apply(c);
}

void TFIBXSQLVAR::Assign(const XSQLVAR& source) {
  Change c{Action::Raw};
  c.raw = &source;
  Apply(c);
}

void TFIBXSQLVAR::InitFromDescribe() {
  XSQLVAR& x = *m_xvar;
  const short type = static_cast<short>(x.sqltype & ~1);
  m_declType = type;
  m_declLen = SlotLength(x);
  m_declScale = x.sqlscale;
  m_declSubtype = x.sqlsubtype;
  m_typed = true;
  if (IsColumn() && (type == SQL_TEXT || type == SQL_VARYING) && m_declLen > kMaxSentValueBytes) {
    // The client library takes such a length as negative and copies far past
    // any buffer at the fetch: the statement must stop here.
    const std::string alias(x.aliasname, static_cast<size_t>(std::clamp<int>(x.aliasname_length, 0, 32)));
    FIBErrorText("Column \"%s\" is too long for the client library (%d bytes, at most %d).",
                 {alias, m_declLen, kMaxSentValueBytes});
  }
  if (type == 0) {
    if (!(m_parent->IsParams() && m_query && m_parent == m_query->m_params.get()))
      FIBError(feUnknownSQLDataType, {0});
    x.sqldata = nullptr;
  } else {
    const int size = BufferSize(type, SlotLength(x));
    if (size < 0) FIBError(feUnknownSQLDataType, {static_cast<int>(type)});
    ResizeData(size);
  }
  if (x.sqltype & 1) {
    x.sqlind = &m_ind;
  } else {
    x.sqlind = nullptr;
  }
}

// ---------------------------------------------------------------------------
// TFIBXSQLDA

TFIBXSQLDA::TFIBXSQLDA(TFIBQuery* query, bool isParams) : m_query(query), m_isParams(isParams) {}

TFIBXSQLDA::~TFIBXSQLDA() { std::free(m_raw); }

void TFIBXSQLDA::IndexOutOfRange() { FIBError(feXSQLDAIndexOutOfRange); }

void TFIBXSQLDA::ClearNames() {
  m_names.clear();
  m_cache.clear();
  for (auto& n : m_namesakes) n.clear();
}

void TFIBXSQLDA::SetCount(int n) {
  if (n < 0) n = 0;
  ClearNames();
  if (n > m_capacity || !m_raw) {
    const int cap = std::max(n, 1);
    const size_t bytes = XSQLDA_LENGTH(cap);
    const size_t oldBytes = m_raw ? XSQLDA_LENGTH(std::max(m_capacity, 1)) : 0;
    auto* raw = static_cast<XSQLDA*>(std::realloc(m_raw, bytes));
    if (!raw) throw std::bad_alloc();
    std::memset(reinterpret_cast<char*>(raw) + oldBytes, 0, bytes - oldBytes);
    m_raw = raw;
    m_raw->version = SQLDA_VERSION1;
    while (static_cast<int>(m_vars.size()) < cap)
      m_vars.push_back(std::make_unique<TFIBXSQLVAR>(this, m_query, static_cast<int>(m_vars.size())));
    m_capacity = cap;
    m_namesakes.resize(static_cast<size_t>(cap));
    for (int i = 0; i < cap; ++i) m_vars[static_cast<size_t>(i)]->RepointSlot(&m_raw->sqlvar[i]);
  }
  m_count = n;
  m_raw->sqln = static_cast<short>(std::max(n, 1));
  m_raw->sqld = static_cast<short>(n);
}

const std::vector<int>* TFIBXSQLDA::Namesakes(int index) const {
  if (!m_isParams || index < 0 || index >= static_cast<int>(m_namesakes.size())) return nullptr;
  const auto& v = m_namesakes[static_cast<size_t>(index)];
  return v.empty() ? nullptr : &v;
}

void TFIBXSQLDA::RegisterName(std::string_view name, int index, bool keepAsIs) {
  std::string stored = keepAsIs ? std::string(name) : UpperCaseAscii(name);
  const std::string key = NameKey(stored);
  if (m_isParams) {
    std::vector<int> holders;
    for (const auto& [k, i] : m_names)
      if (k == key && i != index) holders.push_back(i);
    for (int h : holders) {
      auto& hv = m_namesakes[static_cast<size_t>(h)];
      if (std::find(hv.begin(), hv.end(), index) == hv.end()) hv.push_back(index);
      auto& mine = m_namesakes[static_cast<size_t>(index)];
      if (std::find(mine.begin(), mine.end(), h) == mine.end()) mine.push_back(h);
    }
  }
  m_names.emplace_back(key, index);
  TFIBXSQLVAR& v = *m_vars[static_cast<size_t>(index)];
  v.m_name = std::move(stored);
  v.m_index = index;
}

int TFIBXSQLDA::FindNameIndex(std::string_view name) const {
  const std::string key = NameKey(name);
  for (auto it = m_names.rbegin(); it != m_names.rend(); ++it)
    if (it->first == key && it->second < m_count) return it->second;
  return -1;
}

int TFIBXSQLDA::IndexOfName(std::string_view name) const { return FindNameIndex(name); }

TFIBXSQLVAR* TFIBXSQLDA::ByName(std::string_view name) {
  // Callers usually ask with the same spelling each time: try that first,
  // before building the case-insensitive key.
  for (const auto& [k, v] : m_cache)
    if (k == name) return v;
  const std::string asked = NameKey(name);
  for (const auto& [k, v] : m_cache)
    if (NameKey(k) == asked) return v;
  std::string search;
  if (!name.empty() && name.front() == '"') {
    search = name.size() >= 2 ? std::string(name.substr(1, name.size() - 2)) : std::string();
  } else {
    search = std::string(name);
  }
  // The name list compares without regard to case, so the dialect and
  // UpperOldNames rules that decide between upper-casing and keeping a name
  // cannot change what is found.
  TFIBXSQLVAR* found = nullptr;
  const int i = FindNameIndex(search);
  if (i >= 0) found = m_vars[static_cast<size_t>(i)].get();
  if (!found && m_query && this == m_query->m_params.get()) found = m_query->m_preparedParams->ByName(name);
  if (found) m_cache.emplace_back(std::string(name), found);
  return found;
}

void TFIBXSQLDA::ClearValues() {
  for (int i = 0; i < m_count; ++i) {
    TFIBXSQLVAR& v = *m_vars[static_cast<size_t>(i)];
    if (v.m_xvar->sqltype & 1) v.m_ind = -1;
    v.m_blobStream.reset();
  }
}

void TFIBXSQLDA::SaveOldValues() {
  for (int i = 0; i < m_count; ++i) {
    TFIBXSQLVAR& v = *m_vars[static_cast<size_t>(i)];
    if (v.m_typed) v.SaveOldValue();
  }
}

void TFIBXSQLDA::CopyValuesByName(TFIBXSQLDA& from) {
  for (int i = 0; i < m_count; ++i) {
    TFIBXSQLVAR& v = *m_vars[static_cast<size_t>(i)];
    const int j = from.FindNameIndex(v.m_name);
    if (j < 0) continue;
    TFIBXSQLVAR& src = *from.m_vars[static_cast<size_t>(j)];
    if (src.IsNull()) {
      if (!(v.m_xvar->sqltype & 1)) {
        v.m_xvar->sqltype = static_cast<short>(v.m_xvar->sqltype | 1);
        v.m_xvar->sqlind = &v.m_ind;
      }
      v.m_ind = -1;
      if ((v.m_xvar->sqltype & ~1) == 0) v.m_xvar->sqltype = SQL_TEXT | 1;
      if (v.m_data.empty()) v.ResizeData(1);
      v.m_blobStream.reset();
    } else {
      v.ApplyOne({TFIBXSQLVAR::Action::Raw, false, 0, 0, 0, nullptr, src.m_xvar});
      v.m_blobStream = src.m_blobStream;
    }
  }
}

void TFIBXSQLDA::InitAfterDescribe() {
  const bool nameFromAlias = m_names.empty();
  int counter = 1;
  const bool utf8Names = m_query && m_query->NamesInUtf8();
  for (int i = 0; i < m_count; ++i) {
    TFIBXSQLVAR& v = *m_vars[static_cast<size_t>(i)];
    v.InitFromDescribe();
    if (!nameFromAlias) continue;
    XSQLVAR& x = *v.m_xvar;
    std::string alias(x.aliasname, static_cast<size_t>(std::clamp<int>(x.aliasname_length, 0, 32)));
    if (utf8Names) alias = Utf8ToAnsi(alias);
    bool generated = false;
    if (alias.empty()) {
      alias = "F_" + std::to_string(counter++);
      generated = true;
    }
    if (FindNameIndex(alias) >= 0) {
      for (int suffix = 1;; ++suffix) {
        const std::string sfx = std::to_string(suffix);
        std::string base = alias;
        if (base.size() + sfx.size() > 31) base.resize(31 - sfx.size());
        if (FindNameIndex(base + sfx) < 0) {
          alias = base + sfx;
          break;
        }
      }
      generated = true;
    }
    if (generated) {
      const size_t len = std::min<size_t>(alias.size(), 31);
      std::memcpy(x.aliasname, alias.data(), len);
      x.aliasname[len] = 0;
      x.aliasname_length = static_cast<short>(len);
    }
    RegisterName(alias, i, true);
  }
}

void TFIBXSQLDA::ApplyDeferredSettings() {
  if (!m_deferredSettings) return;
  for (int i = 0; i < m_count; ++i) {
    TFIBXSQLVAR& v = *m_vars[static_cast<size_t>(i)];
    if (v.m_deferred) v.ApplyDeferred();
  }
  m_deferredSettings = false;
}
