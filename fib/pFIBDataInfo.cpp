// The column metadata cache: loading a table's columns from the system
// tables once per database name, default-text parsing, and the statement
// cache the loads run from.
#include "fib/pFIBDataInfo.h"

#include <algorithm>
#include <cctype>

#include "fib/FIBDatabase.h"
#include "fib/FIBFields.h"
#include "fib/FIBQuery.h"
#include "fib/pFIBDataSet.h"
#include "runtime/CodePage.h"
#include "runtime/DateText.h"
#include "runtime/FormatSettings.h"
#include "runtime/StrUtils.h"

namespace {

// The format number of a table, or the relation id of a view.
constexpr std::string_view kFormatSQL =
    "select a1.RDB$RELATION_ID VER  from RDB$RELATIONS a1\r\n"
    "where a1.RDB$SYSTEM_FLAG = 0  and a1.rdb$relation_name=?TN\r\n"
    "and not  a1.rdb$view_blr is null\r\n"
    "union\r\n"
    "select RDB$FORMAT from RDB$RELATIONS R\r\n"
    "where R.RDB$SYSTEM_FLAG = 0    and R.rdb$relation_name=?TN\r\n"
    "and  R.rdb$view_blr is null";

constexpr std::string_view kColumnsSQL =
    "Select R.RDB$FIELD_NAME,R.RDB$FIELD_SOURCE,F.RDB$COMPUTED_BLR, \r\n"
    "R.RDB$DEFAULT_SOURCE DS,F.RDB$DEFAULT_SOURCE DS1, \r\n"
    "F.RDB$FIELD_TYPE, \r\n"
    "F.RDB$CHARACTER_SET_ID \r\n"
    "from  RDB$RELATION_FIELDS R \r\n"
    "JOIN RDB$FIELDS F ON (R.RDB$FIELD_SOURCE = F.RDB$FIELD_NAME) \r\n"
    "where  R.RDB$RELATION_NAME=:TN \r\n"
    "order by R.RDB$FIELD_POSITION";

// Output parameters of a stored procedure, for names that are no table.
constexpr std::string_view kProcedureSQL =
    "Select P.RDB$PARAMETER_NAME,F.RDB$FIELD_NAME,0,0,0,\r\n"
    "P.RDB$PARAMETER_TYPE,\r\n"
    "F.RDB$CHARACTER_SET_ID\r\n"
    "from RDB$PROCEDURE_PARAMETERS P\r\n"
    "JOIN RDB$FIELDS F ON (P.RDB$FIELD_SOURCE = F.RDB$FIELD_NAME)WHERE P.RDB$PROCEDURE_NAME=:PN\r\n"
    "AND P.RDB$PARAMETER_TYPE=1";

// The pseudo-table the field repository fills; never read from the system tables.
constexpr std::string_view kAliasTable = "ALIAS";

bool ContainsUpper(std::string_view text, std::string_view word) {
  return UpperCaseAscii(text).find(word) != std::string::npos;
}

// The transaction the metadata queries read in: the first active one of the
// database, else its own.
TFIBTransaction& MetadataTransaction(TFIBDatabase& db) {
  for (int i = 0; i < db.TransactionCount(); ++i)
    if (TFIBTransaction* tr = db.Transactions(i); tr && tr->Active()) return *tr;
  return *db.InternalTransaction();
}

// A blob column read as text, or nullopt when null.
std::optional<std::string> OptionalText(TFIBQuery& q, int index) {
  TFIBXSQLVAR* v = q.Fields(index);
  if (v->IsNull()) return std::nullopt;
  return Trim(v->AsString());
}

}  // namespace

// --- TpFIBFieldInfo ----------------------------------------------------------

bool TpFIBFieldInfo::CanBeBoolean() {
  if (!m_canBeBoolean) m_canBeBoolean = ContainsUpper(DomainName, "BOOLEAN");
  return *m_canBeBoolean;
}

bool TpFIBFieldInfo::CanBeGUID() {
  if (!m_canBeGUID) m_canBeGUID = ContainsUpper(DomainName, "GUID");
  return *m_canBeGUID;
}

// --- TpFIBTableInfo ----------------------------------------------------------

TpFIBFieldInfo* TpFIBTableInfo::FieldInfo(std::string_view fieldName) {
  // Most names are stored as they come: looked up without building a copy.
  const bool plain = !fieldName.empty() && fieldName.find('"') == std::string_view::npos &&
                     static_cast<unsigned char>(fieldName.front()) > ' ' &&
                     static_cast<unsigned char>(fieldName.back()) > ' ';
  auto it = plain ? m_fields.find(fieldName) : m_fields.find(TpFIBTableInfoCollect::NormalizeName(fieldName));
  return it == m_fields.end() ? nullptr : &it->second;
}

void TpFIBTableInfo::AddField(const std::string& name, TpFIBFieldInfo info) {
  auto [it, inserted] = m_fields.insert_or_assign(name, std::move(info));
  (void)it;
  if (inserted) m_order.push_back(name);
}

// --- TpFIBTableInfoCollect ---------------------------------------------------

TpFIBTableInfoCollect& TpFIBTableInfoCollect::Instance() {
  static TpFIBTableInfoCollect instance;
  return instance;
}

std::string TpFIBTableInfoCollect::NormalizeName(std::string_view name) {
  std::string s;
  s.reserve(name.size());
  for (char c : name)
    if (c != '"') s += c;
  return Trim(s);
}

std::string TpFIBTableInfoCollect::ParseDefaultSource(std::string_view source) {
  std::string text = Trim(source);
  if (text.empty()) return text;
  // The source text starts with the keyword DEFAULT.
  text = Trim(std::string_view(text).substr(std::min<size_t>(7, text.size())));
  size_t quote = text.find_first_of("'\"");
  if (quote == std::string::npos) return text;
  text = Trim(std::string_view(text).substr(quote));
  if (text.size() >= 2 && text.front() == text.back() && (text.front() == '\'' || text.front() == '"'))
    text = text.substr(1, text.size() - 2);
  return text;
}

int TpFIBTableInfoCollect::Count() const {
  std::shared_lock lock(m_lock);
  return static_cast<int>(m_tables.size());
}

void TpFIBTableInfoCollect::Clear() {
  std::unique_lock lock(m_lock);
  m_tables.clear();
  m_generation.fetch_add(1, std::memory_order_acq_rel);
}

TpFIBTableInfo* TpFIBTableInfoCollect::GetTableInfo(TFIBDatabase& db, std::string_view tableName) {
  std::string table = NormalizeName(tableName);
  std::unique_lock lock(m_lock);
  auto key = std::make_pair(table, db.DBName());
  if (auto it = m_tables.find(key); it != m_tables.end()) return it->second.get();
  auto info = std::make_unique<TpFIBTableInfo>(table, db.DBName());
  if (table != kAliasTable) Load(db, *info);
  return m_tables.emplace(std::move(key), std::move(info)).first->second.get();
}

TpFIBFieldInfo* TpFIBTableInfoCollect::GetFieldInfo(TFIBDatabase& db, std::string_view tableName,
                                                    std::string_view fieldName) {
  TpFIBTableInfo* table = GetTableInfo(db, tableName);
  return table ? table->FieldInfo(fieldName) : nullptr;
}

void TpFIBTableInfoCollect::Load(TFIBDatabase& db, TpFIBTableInfo& info) {
  TCacheList& cache = TCacheList::Instance();
  TFIBTransaction& tr = MetadataTransaction(db);
  const std::string& table = info.m_tableName;

  cache.Run(db, tr, kFormatSQL, false,
            [&](TFIBQuery& q) { q.ParamByName("TN")->SetAsString(table); },
            [&](TFIBQuery& q) {
              if (info.m_formatNumber == 0 && !q.Fields(0)->IsNull())
                info.m_formatNumber = q.Fields(0)->AsInteger();
            });

  auto addRow = [&](TFIBQuery& q) {
    TpFIBFieldInfo f;
    f.DomainName = Trim(q.Fields(1)->AsString());
    f.IsComputed = !q.Fields(2)->IsNull();
    std::optional<std::string> source = OptionalText(q, 3);
    if (!source) source = OptionalText(q, 4);
    if (source && !source->empty()) {
      f.DefaultValue = ParseDefaultSource(*source);
      f.DefaultValueEmptyString = f.DefaultValue.empty();
    }
    int type = q.Fields(5)->IsNull() ? 0 : q.Fields(5)->AsInteger();
    f.CanIncToWhereClause = type != 9 && type != 261;
    f.CharSetID = q.Fields(6)->IsNull() ? 0 : q.Fields(6)->AsInteger();
    info.AddField(Trim(q.Fields(0)->AsString()), std::move(f));
  };
  cache.Run(db, tr, kColumnsSQL, true,
            [&](TFIBQuery& q) { q.ParamByName("TN")->SetAsString(table); }, addRow);
  if (info.m_order.empty())
    cache.Run(db, tr, kProcedureSQL, true,
              [&](TFIBQuery& q) { q.ParamByName("PN")->SetAsString(table); }, addRow);
}

// --- statement cache -----------------------------------------------------------

TCacheQueries::TCacheQueries(TFIBDatabase* db) : TComponent(nullptr), m_database(db) {
  if (m_database) m_database->FreeNotification(this);
}

TCacheQueries::~TCacheQueries() {
  m_idle.clear();
  if (m_database) m_database->RemoveFreeNotification(this);
}

std::unique_ptr<TFIBQuery> TCacheQueries::Take(const std::string& sql) {
  for (auto it = m_idle.begin(); it != m_idle.end(); ++it) {
    if ((*it)->SQLText() == sql + "\r\n" || Trim((*it)->SQLText()) == sql) {
      auto q = std::move(*it);
      m_idle.erase(it);
      return q;
    }
  }
  auto q = std::make_unique<TFIBQuery>(nullptr);
  q->SetDatabase(m_database);
  q->SetGoToFirstRecordOnExecute(false);  // every row goes through FetchNext
  q->SetSQLText(sql);
  return q;
}

void TCacheQueries::Give(std::unique_ptr<TFIBQuery> query) {
  if (m_database) m_idle.push_back(std::move(query));
}

void TCacheQueries::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == m_database) {
    // The statements are bound to the database that goes: drop them with it.
    m_idle.clear();
    m_database = nullptr;
  }
}

TCacheList& TCacheList::Instance() {
  static TCacheList instance;
  return instance;
}

TCacheQueries& TCacheList::ForDatabase(TFIBDatabase& db) {
  // Entries of destroyed databases are pruned here; a new database may come
  // back at the same address.
  std::erase_if(m_entries, [](const auto& e) { return e->Database() == nullptr; });
  for (auto& e : m_entries)
    if (e->Database() == &db) return *e;
  m_entries.push_back(std::make_unique<TCacheQueries>(&db));
  return *m_entries.back();
}

void TCacheList::Run(TFIBDatabase& db, TFIBTransaction& tr, std::string_view sql, bool trimChars,
                     const std::function<void(TFIBQuery&)>& fill,
                     const std::function<void(TFIBQuery&)>& row) {
  const std::string text = Trim(sql);
  std::unique_ptr<TFIBQuery> q;
  TCacheQueries* entry;
  {
    TCriticalSectionGuard guard(m_lock);
    entry = &ForDatabase(db);
    q = entry->Take(text);
    ++m_executions;
  }
  // Back to the idle list on every path, so that it stays prepared.
  struct Return {
    TCacheList& list;
    TCacheQueries* entry;
    std::unique_ptr<TFIBQuery>& q;
    ~Return() {
      try {
        if (q->Open()) q->Close();
      } catch (const Exception&) {
        // The statement is reused as it is; its next execution reports.
      }
      TCriticalSectionGuard guard(list.m_lock);
      entry->Give(std::move(q));
    }
  } giveBack{*this, entry, q};

  q->SetTransaction(&tr);
  if (q->Open()) q->Close();
  q->SetOptions(static_cast<TpFIBQueryOptions>(qoStartTransaction | (trimChars ? qoTrimCharFields : 0)));
  fill(*q);
  q->ExecQuery();
  while (q->FetchNext()) row(*q);
}

// --- field information after open ------------------------------------------------

std::string WidenFormat(const std::string& format, int decimals) {
  if (decimals <= 0 || format.empty()) return format;
  if (format.back() == '.') return format + std::string(static_cast<size_t>(decimals), '0');
  if (format.size() >= 2 && format[format.size() - 2] == '.')
    return format.substr(0, format.size() - 1) + std::string(static_cast<size_t>(decimals), format.back());
  return format;
}

namespace {

bool IsPlainNumber(std::string_view t) {
  size_t i = 0;
  while (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
  if (i == t.size()) return false;
  for (; i < t.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(t[i])) && t[i] != '.') return false;
  return true;
}

// Three numbers split at `sep` ("12.5.2020"), or false.
bool SplitThree(std::string_view s, char sep, int& a, int& b, int& c) {
  int parts[3];
  size_t start = 0;
  for (int k = 0; k < 3; ++k) {
    size_t end = k < 2 ? s.find(sep, start) : s.size();
    if (end == std::string_view::npos) return false;
    std::string piece = Trim(s.substr(start, end - start));
    if (piece.empty() || piece.find_first_not_of("0123456789") != std::string::npos) return false;
    parts[k] = std::stoi(piece);
    start = end + 1;
  }
  a = parts[0], b = parts[1], c = parts[2];
  return true;
}

// A date, time or date-time literal of a column default in one of the
// server's forms (d.m.y, m/d/y, y-m-d; h:m[:s]).
bool ParseDefaultLiteral(std::string_view text, TDateTime& value) {
  std::string t = Trim(text);
  std::string datePart = t, timePart;
  if (size_t blank = t.find(' '); blank != std::string::npos) {
    datePart = t.substr(0, blank);
    timePart = Trim(std::string_view(t).substr(blank));
  } else if (t.find(':') != std::string::npos) {
    datePart.clear();
    timePart = t;
  }
  TDateTime date = 0, time = 0;
  if (!datePart.empty()) {
    int a, b, c, y, m, d;
    if (datePart.find('.') != std::string::npos && SplitThree(datePart, '.', a, b, c))
      d = a, m = b, y = c;
    else if (datePart.find('/') != std::string::npos && SplitThree(datePart, '/', a, b, c))
      m = a, d = b, y = c;
    else if (datePart.find('-') != std::string::npos && SplitThree(datePart, '-', a, b, c))
      y = a, m = b, d = c;
    else
      return false;
    if (!TryEncodeDate(y, m, d, date)) return false;
  }
  if (!timePart.empty()) {
    int h = 0, n = 0, sec = 0;
    std::string tp = timePart.substr(0, timePart.find('.'));
    if (std::count(tp.begin(), tp.end(), ':') == 1) tp += ":0";
    if (!SplitThree(tp, ':', h, n, sec) || !TryEncodeTime(h, n, sec, 0, time)) return false;
  }
  value = date + time;
  return true;
}

const char* const kDateKeywords[] = {"CURRENT_TIME", "CURRENT_TIMESTAMP", "CURRENT_DATE", "NOW",
                                     "TODAY",        "TOMORROW",          "YESTERDAY"};

}  // namespace

std::optional<std::string> ImportedDefault(const TField& field, const std::string& text) {
  if (dynamic_cast<const TNumericField*>(&field)) {
    char separator = FormatSettings().DecimalSeparator;
    if (separator == '.') {
      if (!IsPlainNumber(text)) return std::nullopt;
      return text;
    }
    std::string t = text;
    std::replace(t.begin(), t.end(), '.', separator);
    return t;
  }
  switch (field.DataType()) {
    case ftDate: case ftTime: case ftDateTime: case ftTimeStamp: {
      std::string t = Trim(text);
      for (const char* keyword : kDateKeywords)
        if (UpperCaseAscii(t) == keyword) return t;
      if (t.empty()) return std::string();
      TDateTime value;
      if (!ParseDefaultLiteral(t, value)) return text;
      if (field.DataType() == ftDate) return DateToStr(value);
      if (field.DataType() == ftTime) return TimeToStr(value);
      return DateTimeToStr(value);
    }
    default:
      break;
  }
  if (auto* b = dynamic_cast<const TBooleanField*>(&field)) {
    auto* fb = dynamic_cast<const TFIBBooleanField*>(b);
    if (text == "1") return fb ? fb->StringTrue() : std::string("True");
    if (text == "0") return fb ? fb->StringFalse() : std::string("False");
    return std::nullopt;
  }
  if (dynamic_cast<const TFIBStringField*>(&field)) {
    if (text.empty()) return std::nullopt;
    return "'" + text + "'";
  }
  return text;
}

void ApplyFieldInfo(TFIBCustomDataSet& ds, TFieldInfoPlan* plan) {
  TFieldInfoPlan local;
  TFieldInfoPlan& p = plan ? *plan : local;
  const TFormatFields& formats = ds.DefaultFormats();
  const bool wantInfo = (ds.PrepareOptions() & (pfSetRequiredFields | pfSetReadOnlyFields |
                                                pfImportDefaultValues | psUseBooleanField)) != 0;
  TFIBDatabase* db = ds.Database();
  TpFIBTableInfoCollect& cache = TpFIBTableInfoCollect::Instance();
  const TFields& fields = ds.Fields();
  if (!plan || p.shape != ds.Shape()) {
    // The field's type first: it rules out most casts.
    p.fields.assign(static_cast<size_t>(fields.Count()), {});
    for (int i = 0; i < fields.Count(); ++i) {
      TField* field = fields[i];
      TFieldInfoPlan::Field& f = p.fields[static_cast<size_t>(i)];
      const TFieldType type = field->DataType();
      if (type == ftBCD) f.bcd = dynamic_cast<TBCDField*>(field);
      else if ((type == ftSmallint || type == ftInteger || type == ftFloat) && ds.ColumnOf(field))
        f.number = dynamic_cast<TNumericField*>(field);
      else if (IsDateTimeType(type))
        f.dateTime = dynamic_cast<TDateTimeField*>(field);
      if (type == ftString || type == ftFixedChar || type == ftWideString || type == ftGuid)
        f.text = dynamic_cast<TFIBStringField*>(field);
    }
    p.shape = ds.Shape();
    p.infoFound = false;
  }
  const bool lookUp = wantInfo && db && db->Connected();
  if (lookUp && p.infoFound &&
      (p.database != db || p.databaseName != db->DBName() || p.tablesGeneration != cache.Generation()))
    p.infoFound = false;
  const bool findInfo = lookUp && !p.infoFound;
  const uint64_t generation = cache.Generation();
  // The fields of a select share a few tables: each is looked up once per open.
  std::vector<std::pair<std::string_view, TpFIBTableInfo*>> tables;
  const auto fieldInfo = [&](std::string_view table, std::string_view field) -> TpFIBFieldInfo* {
    auto it = std::find_if(tables.begin(), tables.end(), [&](const auto& t) { return t.first == table; });
    if (it == tables.end()) it = tables.insert(tables.end(), {table, cache.GetTableInfo(*db, table)});
    return it->second ? it->second->FieldInfo(field) : nullptr;
  };
  for (int i = 0; i < fields.Count(); ++i) {
    TField* field = fields[i];
    TFieldInfoPlan::Field& f = p.fields[static_cast<size_t>(i)];
    const TFIBFieldDescr* col = ds.ColumnOf(field);
    if (ds.HasOption(poAutoFormatFields)) {
      auto widen = [&](TNumericField& n, int decimals) {
        if (decimals <= 0) return;
        if (n.DisplayFormat().empty()) n.SetDisplayFormat(WidenFormat(formats.NumericDisplayFormat, decimals));
        if (n.EditFormat().empty()) n.SetEditFormat(WidenFormat(formats.NumericEditFormat, decimals));
      };
      if (f.bcd) {
        widen(*f.bcd, f.bcd->Size());
      } else if (f.number) {
        if (col) widen(*f.number, -col->Scale);
      } else if (f.dateTime && f.dateTime->DisplayFormat().empty()) {
        f.dateTime->SetDisplayFormat(field->DataType() == ftDate   ? formats.DisplayFormatDate
                                     : field->DataType() == ftTime ? formats.DisplayFormatTime
                                                                   : formats.DateTimeDisplayFormat);
      }
    }
    if (!lookUp) continue;
    if (findInfo) {
      f.info = fieldInfo("ALIAS", field->FieldName());
      if (col && !col->RelName.empty() && !col->SQLName.empty())
        if (TpFIBFieldInfo* byRelation = fieldInfo(col->RelName, col->SQLName))
          f.info = byRelation;
    }
    TpFIBFieldInfo* info = f.info;
    if (!info) continue;
    if (ds.HasPrepareOption(pfImportDefaultValues)) {
      if (f.text) f.text->SetDefaultValueEmptyString(info->DefaultValueEmptyString);
      // An empty default yields no expression or an empty one: nothing to do
      // for a field without one (most columns, on every open).
      if (!info->DefaultValue.empty() || !field->DefaultExpression().empty())
        if (std::optional<std::string> t = ImportedDefault(*field, info->DefaultValue))
          field->SetDefaultExpression(*t);
    }
    if (ds.HasPrepareOption(pfSetReadOnlyFields) && info->IsComputed) field->SetReadOnly(true);
    if (ds.HasPrepareOption(pfSetRequiredFields) && col && !col->Nullable &&
        info->DefaultValue.empty() && !info->DefaultValueEmptyString && !info->IsComputed)
      field->SetRequired(true);
  }
  if (findInfo) {
    p.infoFound = true;
    p.database = db;
    p.databaseName = db->DBName();
    p.tablesGeneration = generation;
  }
}

// --- TpFIBDataSet's metadata hooks ---------------------------------------------------

bool TpFIBDataSet::ColumnIsBoolean(int column) {
  TFIBDatabase* db = Database();
  if (!db || !db->Connected() || column < 0 || column >= QSelect()->Columns().Count()) return false;
  const XSQLVAR* x = QSelect()->Columns()[column]->Data();
  std::string rel(x->relname, static_cast<size_t>(std::max<short>(0, x->relname_length)));
  std::string name(x->sqlname, static_cast<size_t>(std::max<short>(0, x->sqlname_length)));
  if (rel.empty() || name.empty()) return false;
  TpFIBFieldInfo* info = TpFIBTableInfoCollect::Instance().GetFieldInfo(*db, rel, name);
  return info && info->CanBeBoolean();
}

void TpFIBDataSet::ApplyFieldsInfo() { ApplyFieldInfo(*this, &m_fieldInfoPlan); }

bool TpFIBDataSet::EmptyStringIsNull(TField*, const TFIBFieldDescr& column) {
  TFIBDatabase* db = Database();
  if (!db || !db->Connected() || column.RelName.empty() || column.SQLName.empty()) return true;
  TpFIBFieldInfo* info = TpFIBTableInfoCollect::Instance().GetFieldInfo(*db, column.RelName, column.SQLName);
  // Only a column whose default is the empty string keeps an empty text,
  // and then only when it may not hold null.
  if (!info || !info->DefaultValueEmptyString) return true;
  return column.Nullable;
}
