// Locate over the row cache: keys converted once into the form the row
// stores, rows compared in place in the cache, further rows fetched only as
// far as the search needs, then the position refresh and the move.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "fib/FIBDataSet.h"
#include "runtime/CodePage.h"
#include "runtime/Scaled.h"

// How a key is compared with the stored value.
enum class TKeyKind { String, Integer, Float, DateTime, Calculated, Ignored };

struct TPreparedKey {
  TField* field = nullptr;
  const TFIBFieldDescr* column = nullptr;
  TKeyKind kind = TKeyKind::Ignored;
  bool isNull = false;
  std::string text;     // String: 8-bit text (upper case with loCaseInsensitive)
  int64_t integer = 0;  // Integer: the stored integer form (BCD scaled, day numbers, ms)
  double number = 0;    // Float: the value; DateTime: milliseconds
  Variant value;        // Calculated: the key as given
};

namespace {

// IndexedSearch's answer when the index does not serve the search.
constexpr int kNotIndexed = -2;
// Searches with the same key fields before the index serves them.
constexpr int kIndexAfterSearches = 3;

bool IsStringType(TFieldType t) {
  return t == ftString || t == ftFixedChar || t == ftGuid || t == ftWideString;
}

// The key in the stored form of its field (raises the variant conversion errors).
void PrepareKey(TPreparedKey& k, const Variant& v, TLocateOptions options) {
  TField* f = k.field;
  if (f->FieldKind() == fkCalculated || f->FieldKind() == fkLookup) {
    k.kind = TKeyKind::Calculated;
    k.value = v;
    k.isNull = v.IsClear();
    return;
  }
  if (v.IsClear()) {
    k.isNull = true;
    k.kind = IsStringType(f->DataType()) ? TKeyKind::String : TKeyKind::Integer;
    return;
  }
  const TFieldType type = f->DataType();
  const bool isBool = v.BaseType() == varBoolean;
  switch (type) {
    case ftString: case ftFixedChar: case ftGuid: case ftWideString:
      k.kind = TKeyKind::String;
      k.text = (options & loCaseInsensitive) ? AnsiUpperCase(v.AsString()) : v.AsString();
      break;
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint:
      k.kind = TKeyKind::Integer;
      k.integer = isBool ? (v.AsBoolean() ? 1 : 0) : v.AsInt64();
      break;
    case ftBoolean:
      k.kind = TKeyKind::Integer;
      k.integer = v.AsBoolean() ? 1 : 0;
      break;
    case ftFloat: case ftCurrency:
      k.kind = TKeyKind::Float;
      k.number = isBool ? (v.AsBoolean() ? 1 : 0) : v.AsDouble();
      break;
    case ftBCD: {
      // The record keeps the column's scaled integer (Size decimals).
      k.kind = TKeyKind::Integer;
      const int decimals = f->Size();
      if (decimals == 0) {
        k.integer = v.AsInt64();
      } else {
        // Rounded as a store into the field rounds; a key the column cannot hold
        // is refused like any key that does not convert.
        if (!Rescale(v.AsCurrency().Raw, 4, decimals, k.integer)) throw EOverflow("Floating point overflow");
      }
      break;
    }
    case ftDate: {
      k.kind = TKeyKind::Integer;
      k.integer = static_cast<int64_t>(std::floor(v.AsDate())) + kDateDelta;
      break;
    }
    case ftTime: {
      const double dt = v.AsDate();
      k.kind = TKeyKind::Integer;
      k.integer = std::llround((dt - std::floor(dt)) * 86400000.0);
      break;
    }
    case ftDateTime: case ftTimeStamp: {
      const double dt = v.AsDate();
      const double day = std::floor(dt);
      k.kind = TKeyKind::DateTime;
      k.number = (day + kDateDelta) * 86400000.0 + std::llround((dt - day) * 86400000.0);
      break;
    }
    default:
      k.kind = TKeyKind::Ignored;  // such a field never prevents a match
      break;
  }
}

int64_t StoredInteger(const std::byte* p, short sqlType) {
  switch (sqlType) {
    case SQL_SHORT: { int16_t v; std::memcpy(&v, p, 2); return v; }
    case SQL_INT64: { int64_t v; std::memcpy(&v, p, 8); return v; }
    default: { int32_t v; std::memcpy(&v, p, 4); return v; }
  }
}

double StoredFloat(const std::byte* p, const TFIBFieldDescr& d, bool int64AsDouble) {
  switch (d.SQLType) {
    case SQL_FLOAT: { float v; std::memcpy(&v, p, 4); return v; }
    case SQL_SHORT: case SQL_LONG: return ScaledToDouble(StoredInteger(p, d.SQLType), d.Scale);
    case SQL_INT64:
      if (!int64AsDouble) return ScaledToDouble(StoredInteger(p, d.SQLType), d.Scale);
      [[fallthrough]];
    default: { double v; std::memcpy(&v, p, 8); return v; }
  }
}

// The stored text of a string key's column as the search compares it: cut to
// the field's size, trailing blanks cut with poTrimCharFields.
std::string_view StoredKeyText(const TRecordsCache& cache, int position, const std::byte* value,
                               const TPreparedKey& k, bool trimmed) {
  const TFIBFieldDescr& d = *k.column;
  std::string_view text;
  if (d.OutOfLine) {
    text = cache.String(position, d.StringSlot);
  } else {
    const char* p = reinterpret_cast<const char*>(value);
    text = std::string_view(p, strnlen(p, static_cast<size_t>(d.Size)));
  }
  const size_t fieldSize = static_cast<size_t>(std::max(k.field->Size(), 0));
  if (text.size() > fieldSize) text = text.substr(0, fieldSize);
  if (trimmed)
    while (!text.empty() && static_cast<unsigned char>(text.back()) < 33) text.remove_suffix(1);
  return text;
}

// Keys the index can serve: compared exactly, as texts or integers.
bool IndexableKeys(const std::vector<TPreparedKey>& keys, TLocateOptions options) {
  if (options != loNone) return false;
  return std::all_of(keys.begin(), keys.end(), [](const TPreparedKey& k) {
    return k.kind == TKeyKind::String || k.kind == TKeyKind::Integer || k.kind == TKeyKind::Ignored;
  });
}

// The hash of a key as the index files it: equal keys (as the exact search
// compares them) hash alike; different keys rarely do, and the search
// compares the row it is pointed to anyway.
class TKeyHash {
 public:
  void Null() { Add("\0", 1); }
  void Text(std::string_view text) {
    const auto length = static_cast<uint32_t>(text.size());
    Add("\1", 1);
    Add(&length, sizeof length);
    Add(text.data(), text.size());
  }
  void Integer(int64_t value) {
    Add("\2", 1);
    Add(&value, sizeof value);
  }
  uint64_t Value() const {
    // Spread the bits for the table's power-of-two size.
    uint64_t h = m_h;
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    return h;
  }

 private:
  void Add(const void* data, size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) m_h = (m_h ^ p[i]) * 0x100000001b3ull;
  }
  uint64_t m_h = 0xcbf29ce484222325ull;
};

}  // namespace

bool TFIBCustomDataSet::Locate(const std::string& keyFields, const Variant& keyValues, TLocateOptions options) {
  options = static_cast<TLocateOptions>(options & (loCaseInsensitive | loPartialKey));
  CheckActive();
  if (IsEmpty() && State() != dsInsert) return false;
  CheckBrowseMode();  // a pending insert or edit takes part in the search
  TLocateFields& known = m_locateFields;
  if (known.shape != Shape() || known.names != keyFields) {
    known = TLocateFields{};
    known.list = GetFieldList(keyFields);
    known.names = keyFields;
    known.shape = Shape();
  }
  const std::vector<TField*>& fields = known.list;
  if (fields.empty()) return false;

  std::vector<Variant> values;
  if (keyValues.IsArray()) {
    for (int i = keyValues.ArrayLowBound(); i <= keyValues.ArrayHighBound(); ++i) values.push_back(keyValues.GetElement(i));
  } else {
    values.push_back(keyValues);
  }
  if (values.size() < fields.size())
    DatabaseErrorFmt("No key value for field '%s'", {fields[values.size()]->DisplayName()}, this);
  if (values.size() > fields.size())
    DatabaseErrorFmt("More key values than key fields (%s)", {keyFields}, this);

  std::vector<TPreparedKey> keys(fields.size());
  bool calculated = false;
  for (size_t n = fields.size(); n-- > 0;) {
    TPreparedKey& k = keys[n];
    k.field = fields[n];
    k.column = ColumnOf(k.field);
    try {
      PrepareKey(k, values[n], options);
    } catch (const EDatabaseError&) {
      throw;
    } catch (const Exception& e) {
      DatabaseErrorFmt("Invalid key value for field '%s': %s", {k.field->DisplayName(), e.Message()}, this);
    }
    if (k.kind == TKeyKind::Calculated) calculated = true;
    else if (!k.column) k.kind = TKeyKind::Ignored;
  }

  // Calculated keys need the row's calculated values; others are compared in the cache.
  if (!calculated) ++m_calcSuspend;
  int found = kNotIndexed;
  auto finish = [&] {
    if (!calculated && --m_calcSuspend == 0) RefreshPosition();
  };
  try {
    if (!calculated && IndexableKeys(keys, options)) found = IndexedSearch(keys);
    if (found == kNotIndexed) {
      found = -1;
      TRecordBuffer calcRow = calculated ? AllocRecordBuffer() : nullptr;
      struct FreeRow {
        TFIBCustomDataSet* ds;
        TRecordBuffer& row;
        ~FreeRow() { ds->FreeRecordBuffer(row); }
      } freeRow{this, calcRow};
      for (int i = 0;; ++i) {
        if (i >= m_fetched && !FetchRowFromServer()) break;
        if (calcRow) {
          ReadCachedRecord(i, calcRow);
          ClearCalcFields(calcRow);
          GetCalcFields(calcRow);
        }
        if (RowMatches(i, keys, options, calcRow) && RowVisible(i)) {
          found = i;
          break;
        }
      }
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
  if (found >= 0) MoveToRow(found);
  return found >= 0;
}

bool TFIBCustomDataSet::RowMatches(int position, std::span<const TPreparedKey> keys, TLocateOptions options,
                                   TRecordBuffer calcRow) const {
  const std::byte* row = m_cache->Fixed(position);  // the record from byte 5 on
  for (const TPreparedKey& k : keys) {
    if (k.kind == TKeyKind::Ignored) continue;
    if (k.kind == TKeyKind::Calculated) {
      const std::vector<Variant>& calc = CalcValuesOf(calcRow);
      const int index = k.field->Index();
      const Variant stored = index >= 0 && index < static_cast<int>(calc.size()) ? calc[static_cast<size_t>(index)]
                                                                                 : Variant::Null();
      if (k.isNull || stored.IsClear()) {
        if (k.isNull != stored.IsClear()) return false;
        continue;
      }
      if (IsStringType(k.field->DataType())) {
        std::string a = stored.AsString(), b = k.value.AsString();
        if (options & loCaseInsensitive) {
          a = AnsiUpperCase(a);
          b = AnsiUpperCase(b);
        }
        if ((options & loPartialKey) ? a.compare(0, b.size(), b) != 0 : a != b) return false;
      } else if (!VarSameValue(stored, k.value)) {
        return false;
      }
      continue;
    }
    const TFIBFieldDescr& d = *k.column;
    const int column = k.field->FieldNo() - 1;
    const bool storedNull = row[fibrec::kNullFlags - fibrec::kCachedFrom + column] != std::byte{0};
    if (k.isNull || storedNull) {
      if (k.isNull != storedNull) return false;
      continue;
    }
    const std::byte* value = row + (d.Offset - fibrec::kCachedFrom);
    switch (k.kind) {
      case TKeyKind::String: {
        const std::string_view text = StoredKeyText(*m_cache, position, value, k, HasOption(poTrimCharFields));
        if (options & loPartialKey) {
          if (options & loCaseInsensitive) {
            if (AnsiUpperCase(text).compare(0, k.text.size(), k.text) != 0) return false;
          } else if (text.compare(0, k.text.size(), k.text) != 0) {
            return false;
          }
        } else if (options & loCaseInsensitive) {
          if (AnsiCompareText(text, k.text) != 0) return false;
        } else if (text != k.text) {
          return false;
        }
        break;
      }
      case TKeyKind::Integer:
        if (StoredInteger(value, d.SQLType) != k.integer) return false;
        break;
      case TKeyKind::Float: {
        const bool asDouble = d.Scale < -4 && !HasPrepareOption(psSQLINT64ToBCD);
        if (std::fabs(StoredFloat(value, d, asDouble) - k.number) >= 1e-11) return false;
        break;
      }
      case TKeyKind::DateTime: {
        double ms;
        std::memcpy(&ms, value, 8);
        if (std::fabs(ms - k.number) >= 0.5) return false;
        break;
      }
      default:
        break;
    }
  }
  return true;
}

void TFIBCustomDataSet::RefreshPosition() {
  const TBookmark bookmark = GetBookmark();
  const bool atEnd = Eof();
  DisableControls();
  ++m_scrollSuppress;
  try {
    GotoBookmark(bookmark);  // re-centres the window; clears the beginning and end marks
    if (atEnd) Next();       // which sets the end mark again
  } catch (...) {
    --m_scrollSuppress;
    EnableControls();
    throw;
  }
  --m_scrollSuppress;
  EnableControls();
}

void TFIBCustomDataSet::MoveToRow(int position) {
  CheckBrowseMode();
  if (!Bof() && !Eof() && GetRecNo() == position + 1) return;
  DoBeforeScroll();
  SetCursorPosition(position);
  Resync(rmExact | rmCenter);
  DoAfterScroll();
  CursorPosChanged();
}

int TFIBCustomDataSet::IndexedSearch(std::span<const TPreparedKey> keys) {
  TLocateIndex& index = m_locateIndex;
  std::vector<const TField*> fields(keys.size());
  for (size_t n = 0; n < keys.size(); ++n) fields[n] = keys[n].field;
  const bool trimmed = HasOption(poTrimCharFields);
  const bool same = fields == index.fields && index.shown == m_updateRecordTypes && index.trimmed == trimmed;
  if (!same || index.searches < kIndexAfterSearches) {
    // Taking a row in costs several plain comparisons: the first searches
    // with these fields scan as usual, the index serves them once they keep
    // coming.
    if (!same) {
      index = TLocateIndex{};
      index.fields = std::move(fields);
      index.shown = m_updateRecordTypes;
      index.trimmed = trimmed;
    }
    if (++index.searches < kIndexAfterSearches) return kNotIndexed;
    index.Clear();
    index.Reserve(m_fetched);
  } else if (m_cache->LowestChangeSince(index.seen) < index.upTo) {
    // A row already taken in changed (an edit, an insert, a delete, a reopen).
    index.Clear();
  }
  // The rows taken in are as the cache holds them now; rows this search
  // fetches come at the end, which changes none of them.
  index.seen = m_cache->ChangeStamp();
  const auto matches = [&](int position) { return RowMatches(position, keys, loNone, nullptr); };

  TKeyHash wanted;
  for (const TPreparedKey& k : keys) {
    if (k.kind == TKeyKind::Ignored) continue;
    if (k.isNull) wanted.Null();
    else if (k.kind == TKeyKind::String) wanted.Text(k.text);
    else wanted.Integer(k.integer);
  }
  const uint64_t hash = wanted.Value();
  // The first row taken in with this hash: no earlier row has the key. It
  // holds the key, or (another key of the same hash) the match comes later.
  if (const int first = index.Find(hash); first >= 0) {
    for (int i = first; i < index.upTo; ++i)
      if (RowVisible(i) && matches(i)) return i;
  }

  // Not among the rows taken in: go on from there as the plain search would,
  // fetching only as far as the first match.
  int found = -1;
  for (int i = index.upTo;; ++i) {
    if (i >= m_fetched && !FetchRowFromServer()) break;
    index.upTo = i + 1;
    if (!RowVisible(i)) continue;
    TKeyHash key;
    const std::byte* row = m_cache->Fixed(i);
    for (const TPreparedKey& k : keys) {
      if (k.kind == TKeyKind::Ignored) continue;
      const TFIBFieldDescr& d = *k.column;
      const int column = k.field->FieldNo() - 1;
      const std::byte* value = row + (d.Offset - fibrec::kCachedFrom);
      if (row[fibrec::kNullFlags - fibrec::kCachedFrom + column] != std::byte{0})
        key.Null();
      else if (k.kind == TKeyKind::String)
        key.Text(StoredKeyText(*m_cache, i, value, k, trimmed));
      else
        key.Integer(StoredInteger(value, d.SQLType));
    }
    index.Add(key.Value(), i);
    if (key.Value() == hash && matches(i)) {
      found = i;
      break;
    }
  }
  return found;
}

// --- the index's table: open addressing, the first row per hash ----------------------------

int TFIBCustomDataSet::TLocateIndex::Find(uint64_t hash) const {
  if (table.empty()) return -1;
  const size_t mask = table.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    if (table[i].row < 0) return -1;
    if (table[i].hash == hash) return table[i].row;
  }
}

void TFIBCustomDataSet::TLocateIndex::Add(uint64_t hash, int row) {
  if (2 * (used + 1) > table.size()) {
    // Kept at most half full; the rows go in again in their order.
    std::vector<Slot> old(std::max<size_t>(64, 2 * table.size()));
    old.swap(table);
    used = 0;
    for (const Slot& s : old)
      if (s.row >= 0) Add(s.hash, s.row);
  }
  const size_t mask = table.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    if (table[i].row < 0) {
      table[i] = {hash, row};
      ++used;
      return;
    }
    if (table[i].hash == hash) return;  // an earlier row has it
  }
}

void TFIBCustomDataSet::TLocateIndex::Reserve(int rows) {
  size_t size = 64;
  while (size < 2 * static_cast<size_t>(std::max(rows, 0))) size *= 2;
  if (size > table.size()) table.assign(size, Slot{});
}

void TFIBCustomDataSet::TLocateIndex::Clear() {
  table.assign(table.size(), Slot{});
  used = 0;
  upTo = 0;
}
