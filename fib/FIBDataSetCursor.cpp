// The Firebird dataset's side of the record cursor: record buffers, fetching
// rows from the server into the cache, the error hook around reading a
// record, and counts that leave out deleted rows.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "fib/CopyBytes.h"
#include "fib/FIBDataSet.h"
#include "fib/fib.h"
#include "runtime/Scaled.h"

namespace {

// Each record buffer is preceded by the address of its calculated values, so
// that a buffer can be freed whatever layout the dataset has by then, and
// before that by the cache stamp of the row it holds (0: none; see
// TRecordsCache::Read). Both move with the buffer when the window shifts.
constexpr size_t kCalcSlot = sizeof(std::vector<Variant>*);
constexpr size_t kStampSlot = sizeof(uint64_t);
constexpr size_t kHeader = kStampSlot + kCalcSlot;
static_assert(kHeader == fibrec::kLoadedStampBefore);

std::vector<Variant>*& CalcValues(TRecordBuffer buffer) {
  return *reinterpret_cast<std::vector<Variant>**>(buffer - kCalcSlot);
}

uint64_t& LoadedStamp(TRecordBuffer buffer) { return *reinterpret_cast<uint64_t*>(buffer - kHeader); }

// `count` null values, or none.
[[gnu::noinline]] void ResetCalcSlots(std::vector<Variant>& calc, size_t count) {
  if (count == 0) calc.clear();
  else calc.assign(count, Variant::Null());
}

void DeleteBuffer(TRecordBuffer buffer) {
  delete CalcValues(buffer);
  delete[] (buffer - kHeader);
}

}  // namespace

// --- record buffers ---------------------------------------------------------------

TRecordBuffer TFIBCustomDataSet::AllocRecordBuffer() {
  const size_t size = static_cast<size_t>(std::max(m_recordSize, fibrec::kNullFlags));
  auto* raw = new std::byte[kHeader + size]();
  TRecordBuffer buffer = raw + kHeader;
  CalcValues(buffer) = new std::vector<Variant>();
  return buffer;
}

void TFIBCustomDataSet::FreeRecordBuffer(TRecordBuffer& buffer) {
  if (!buffer) return;
  DeleteBuffer(buffer);
  buffer = nullptr;
}

void TFIBCustomDataSet::ClearCalcFields(TRecordBuffer buffer) {
  std::vector<Variant>& calc = *CalcValues(buffer);
  // Only calculated and lookup fields read their slot (an absent slot reads
  // as null): without such fields the buffer needs no slots to clear, and
  // has none already on every read but the first after such fields went.
  // Every row read comes here: the work is kept out of line.
  const int slots = CalcFieldsCount() == 0 ? 0 : FieldCount();
  if (slots != 0 || !calc.empty()) ResetCalcSlots(calc, static_cast<size_t>(slots));
}

std::vector<Variant>& TFIBCustomDataSet::CalcValuesOf(TRecordBuffer buffer) { return *CalcValues(buffer); }

int32_t TFIBCustomDataSet::RecNoOf(TRecordBuffer buffer) {
  int32_t r;
  std::memcpy(&r, buffer + fibrec::kRecNo, sizeof r);
  return r;
}

void TFIBCustomDataSet::SetRecNoOf(TRecordBuffer buffer, int32_t recNo) {
  std::memcpy(buffer + fibrec::kRecNo, &recNo, sizeof recNo);
}

TBookmarkFlag TFIBCustomDataSet::GetBookmarkFlag(TRecordBuffer buffer) const {
  return static_cast<TBookmarkFlag>(buffer[fibrec::kBookmarkFlag]);
}

void TFIBCustomDataSet::SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag value) {
  std::byte& flag = buffer[fibrec::kBookmarkFlag];
  // An appended row is numbered as the row after the last one fetched.
  if (value == bfEOF && flag == static_cast<std::byte>(bfInserted)) SetRecNoOf(buffer, m_fetched);
  flag = static_cast<std::byte>(value);
}

// --- the cache ------------------------------------------------------------------------

// The window's row reads (a dozen per row a transfer writes) come straight
// here; the dataset's own reads go through ReadCachedRecord.
void TFIBCustomDataSet::LoadRecord(TRecordBuffer buffer, int position) {
  // Most reads refill a buffer with the very row it holds (the window
  // rebuilt after a post or a search): the stamp skips the copy then.
  m_cache->Read(position, buffer + fibrec::kCachedFrom, LoadedStamp(buffer));
  SetRecNoOf(buffer, position);
}

void TFIBCustomDataSet::ReadCachedRecord(int position, TRecordBuffer buffer) {
  TFIBCustomDataSet::LoadRecord(buffer, position);
}

void TFIBCustomDataSet::InitRecord(TRecordBuffer buffer) {
  ForgetCachedRecord(buffer);
  TCachedDataSet::InitRecord(buffer);
}

void TFIBCustomDataSet::WriteCachedRecord(int position, TRecordBuffer buffer) {
  m_cache->Write(position, buffer + fibrec::kCachedFrom);
}

bool TFIBCustomDataSet::RowVisible(int position) const {
  const auto status = static_cast<unsigned>(m_cache->Fixed(position)[0]);
  return (m_updateRecordTypes & (1u << status)) != 0;
}

void TFIBCustomDataSet::ConvertColumn(const XSQLVAR& x, const TFIBFieldDescr& d, std::byte* base, int column) {
  const bool isNull = (x.sqltype & 1) != 0 && x.sqlind && *x.sqlind == -1;
  PutNullFlag(base, column, isNull);
  std::byte* dst = base + d.Offset;
  if (isNull) {
    if (d.OutOfLine) std::memset(dst, 0, 4);
    return;
  }
  const char* src = x.sqldata;
  // Most columns are integers and doubles, stored as they come: told apart
  // from the rest by one mask test rather than by the switch's chain below.
  constexpr unsigned kAsTheyCome = 1u << (SQL_DOUBLE - SQL_DOUBLE) | 1u << (SQL_FLOAT - SQL_DOUBLE) |
                                   1u << (SQL_LONG - SQL_DOUBLE) | 1u << (SQL_SHORT - SQL_DOUBLE);
  static_assert(SQL_SHORT - SQL_DOUBLE < 32);
  if (const unsigned k = static_cast<unsigned>((x.sqltype & ~1) - SQL_DOUBLE); k < 32 && (kAsTheyCome >> k & 1u)) {
    CopyValueBytes(dst, src, static_cast<size_t>(std::min<int>(d.Size, x.sqllen)));
    return;
  }
  auto storeText = [&](const char* text, int length) {
    length = std::clamp(length, 0, d.Size);
    if (d.OutOfLine) {
      const int32_t l = length;
      std::memcpy(dst, &l, 4);
      std::memcpy(dst + 4, text, static_cast<size_t>(length));
    } else {
      std::memcpy(dst, text, static_cast<size_t>(length));
      dst[length] = std::byte{0};
    }
  };
  switch (x.sqltype & ~1) {
    case SQL_VARYING: {
      int16_t length;
      std::memcpy(&length, src, 2);
      storeText(src + 2, length);
      break;
    }
    case SQL_TEXT:
      storeText(src, x.sqllen);
      break;
    case SQL_INT64:
      if (d.SQLType == SQL_INT64 && d.Scale < -4 && !HasPrepareOption(psSQLINT64ToBCD)) {
        int64_t v;
        std::memcpy(&v, src, 8);
        const double value = ScaledToDouble(v, d.Scale);
        std::memcpy(dst, &value, 8);
      } else {
        std::memcpy(dst, src, 8);
      }
      break;
    case SQL_TIMESTAMP: {
      ISC_TIMESTAMP ts;
      std::memcpy(&ts, src, sizeof ts);
      const double ms = (static_cast<double>(ts.timestamp_date) + kServerToTimeStampDays) * 86400000.0 +
                        static_cast<double>(ts.timestamp_time / 10);
      std::memcpy(dst, &ms, 8);
      break;
    }
    case SQL_TYPE_DATE: {
      int32_t day;
      std::memcpy(&day, src, 4);
      day += kServerToTimeStampDays;
      std::memcpy(dst, &day, 4);
      break;
    }
    case SQL_TYPE_TIME: {
      uint32_t t;
      std::memcpy(&t, src, 4);
      const int32_t ms = static_cast<int32_t>(t / 10);
      std::memcpy(dst, &ms, 4);
      break;
    }
    default:
      CopyValueBytes(dst, src, static_cast<size_t>(std::min<int>(d.Size, x.sqllen)));
      break;
  }
}

bool TFIBCustomDataSet::FetchRowFromServer() {
  if (m_cursorAtEnd || !m_cursorOpen) return false;
  if (BeforeFetchRecord) BeforeFetchRecord(this);
  TFIBXSQLDA* row;
  try {
    row = m_qSelect->FetchNext();
  } catch (...) {
    // The statement has closed its cursor: no further row can come.
    m_cursorAtEnd = true;
    throw;
  }
  if (!row) {
    m_cursorAtEnd = true;
    return false;
  }
  std::byte* b = m_scratch.data();
  b[fibrec::kUpdateStatus] = std::byte{cusUnmodified};
  const XSQLDA* raw = row->AsXSQLDA();
  const int n = std::min<int>(raw->sqld, ColumnCount());
  for (int i = 0; i < n; ++i) ConvertColumn(raw->sqlvar[i], m_descrs[static_cast<size_t>(i)], b, i);
  m_cache->Append(b + fibrec::kCachedFrom);
  ++m_fetched;
  if (AfterFetchRecord) AfterFetchRecord(this);
  return true;
}

bool TFIBCustomDataSet::FetchNext() { return FetchRowFromServer(); }

void TFIBCustomDataSet::FetchAll() {
  while (FetchRowFromServer()) {
  }
}

const std::vector<int>& TFIBCustomDataSet::ColumnTargets(TFIBQuery& query) {
  auto map = std::find_if(m_columnMaps.begin(), m_columnMaps.end(),
                          [&](const TColumnMap& m) { return m.query == &query; });
  if (map == m_columnMaps.end()) map = m_columnMaps.insert(m_columnMaps.end(), TColumnMap{&query, -1, 0, {}});
  const int count = query.Columns().Count();
  if (map->prepares == query.PrepareCount() && map->shape == Shape() &&
      map->targets.size() == static_cast<size_t>(count))
    return map->targets;
  map->prepares = query.PrepareCount();
  map->shape = Shape();
  map->targets.assign(static_cast<size_t>(count), -1);
  const bool isSelect = &query == m_qSelect.get();
  for (int i = 0; i < count; ++i) {
    if (isSelect) {
      map->targets[static_cast<size_t>(i)] = i;
      continue;
    }
    const std::string& name = query.Columns()[i]->Name();
    for (int k = 0; k < ColumnCount(); ++k)
      if (m_descrs[static_cast<size_t>(k)].Name == name) {
        map->targets[static_cast<size_t>(i)] = k;
        break;
      }
  }
  return map->targets;
}

void TFIBCustomDataSet::FetchRowIntoCache(TFIBQuery& query, int position) {
  std::byte* b = m_scratch.data();
  m_cache->Read(position, b + fibrec::kCachedFrom);
  const XSQLDA* raw = query.Columns().AsXSQLDA();
  const std::vector<int>& targets = ColumnTargets(query);
  for (int i = 0; i < query.Columns().Count() && i < static_cast<int>(targets.size()); ++i) {
    const int target = targets[static_cast<size_t>(i)];
    if (target < 0 || target >= ColumnCount()) continue;
    ConvertColumn(raw->sqlvar[i], m_descrs[static_cast<size_t>(target)], b, target);
  }
  m_cache->Write(position, b + fibrec::kCachedFrom);
}

// --- navigation ---------------------------------------------------------------------------

TGetResult TFIBCustomDataSet::GetRecord(TRecordBuffer buffer, TGetMode getMode, bool doCheck) {
  // Nothing to turn an error into: it goes on as it is (the window's usual reads).
  if (doCheck && !OnGetRecordError) return TCachedDataSet::GetRecord(buffer, getMode, doCheck);
  return GetRecordHandlingErrors(buffer, getMode, doCheck);
}

TGetResult TFIBCustomDataSet::GetRecordHandlingErrors(TRecordBuffer buffer, TGetMode getMode, bool doCheck) {
  for (;;) {
    try {
      return TCachedDataSet::GetRecord(buffer, getMode, doCheck);
    } catch (EDatabaseError& e) {
      TDataAction action = daFail;
      if (OnGetRecordError) OnGetRecordError(this, e, action);
      if (action == daRetry) continue;
      if (action == daAbort) Abort();
      if (!doCheck) return grError;
      throw;
    }
  }
}

void TFIBCustomDataSet::InternalLast() {
  try {
    TCachedDataSet::InternalLast();
  } catch (...) {
    // The window was cleared for the move: show the rows fetched before the
    // failure around the last of them, then let the error go on.
    if (m_fetched > 0) {
      SetCursorPosition(m_fetched - 1);
      try {
        Resync(rmExact | rmCenter);
      } catch (const Exception&) {
      }
    }
    throw;
  }
}

// --- counts --------------------------------------------------------------------------------

int TFIBCustomDataSet::GetRecordCount() const { return IsCursorOpen() ? m_fetched - m_deletedCount : 0; }

int TFIBCustomDataSet::GetRecNo() const {
  TRecordBuffer b = ActiveBuffer();
  return b ? RecNoOf(b) + 1 : 0;
}
