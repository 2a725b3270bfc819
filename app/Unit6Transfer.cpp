// The two transfers of the main window: the per-article extra data from the
// catalogue records ("Prepisi u artile") and the marking list ("Prepisi HP
// oznake"). Each written row is committed on its own by the datasets'
// AutoCommit.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "app/Unit6.h"
#include "runtime/CodePage.h"

namespace {

void CountDefinitionRow(TForm6::TTransferProgress& progress, int edid, const std::string& name) {
  auto& counts = progress.writtenPerDefinition;
  auto found = std::find_if(counts.begin(), counts.end(), [edid](const auto& c) { return c.edid == edid; });
  if (found == counts.end()) found = counts.insert(counts.end(), {edid, name, 0});
  ++found->rows;
}

}  // namespace

TForm6::TCatalogueKey TForm6::NormaliseCatalogueNumber(const std::string& catalogueNumber) {
  // A leading "0" marks the REP group; only that one character goes.
  if (!catalogueNumber.empty() && catalogueNumber[0] == '0') return {catalogueNumber.substr(1), "REP"};
  // The GP group's numbers have at least four characters, padded with "0".
  std::string key = catalogueNumber;
  if (key.size() < 4) key.insert(0, 4 - key.size(), '0');
  return {key, "GP"};
}

std::string TForm6::SourceText(const std::string& column) const {
  return qryAccPodaci->FieldByName(column)->AsString();
}

TForm6::TSourceValue TForm6::SourceValue(TADOQuery* query, const std::string& column) {
  TField* field = query->FieldByName(column);
  TSourceValue value{field->AsString(), {}};
  std::optional<std::u16string> stored = query->StoredText(field);
  value.stored = stored ? std::move(*stored) : AnsiToWide(value.text);
  return value;
}

namespace {

// The source column a definition's field name reads: the one name too long
// for the definitions is kept cut there.
std::string SourceColumnOf(const std::string& fieldName) {
  return fieldName == "TEMPERATURA_SKLADIST" ? "TEMPERATURA_SKLADISTENJA" : fieldName;
}

bool IsSignColumn(const std::string& fieldName) {
  for (const char* sign : {"ZNAK_1", "ZNAK_2", "ZNAK_3", "ZNAK_4", "ZNAK_5"})
    if (fieldName == sign) return true;
  return false;
}

// Raises one error naming every column in `missing` ("dataset: Field 'X'
// not found." a line), so a source can be mended in one go.
void RaiseMissing(const std::vector<std::pair<std::string, std::string>>& missing) {
  if (missing.empty()) return;
  std::string message;
  for (const auto& [dataSet, column] : missing)
    message += (message.empty() ? "" : "\n") + dataSet + ": Field '" + column + "' not found.";
  throw EDatabaseError(message);
}

void AddMissing(std::vector<std::pair<std::string, std::string>>& missing, TADOQuery* query,
                const std::string& column) {
  if (query->FindField(column)) return;
  for (const auto& m : missing)
    if (m.first == query->Name() && SameText(m.second, column)) return;
  missing.emplace_back(query->Name(), column);
}

}  // namespace

void TForm6::CheckSourceColumns() {
  if (!qryAccPodaci->Active()) return;  // the run itself says so
  std::vector<std::pair<std::string, std::string>> missing;
  AddMissing(missing, qryAccPodaci, "KAT_BROJ");
  bool signs = false;
  for (qryEDSif->First(); !qryEDSif->Eof(); qryEDSif->Next()) {
    const std::string fieldName = qryEDSifET_FIELD->AsString();
    AddMissing(missing, qryAccPodaci, SourceColumnOf(fieldName));
    signs = signs || IsSignColumn(fieldName);
  }
  // A sign found in ZNAK is written as its name.
  if (signs && qryAccSlike->Active() && qryAccSlike->FindField("id_znak_tabela1"))
    AddMissing(missing, qryAccSlike, "naziv");
  RaiseMissing(missing);
}

void TForm6::CheckMarkingColumns() {
  if (!qryAccHPOznake->Active()) return;
  std::vector<std::pair<std::string, std::string>> missing;
  AddMissing(missing, qryAccHPOznake, "id");
  AddMissing(missing, qryAccHPOznake, "naziv");
  RaiseMissing(missing);
}

TForm6::TSourceValue TForm6::DefinitionValue(const std::string& fieldName) {
  // The name is compared byte for byte: a lower-case "znak_3" is a plain column.
  if (IsSignColumn(fieldName)) {
    TSourceValue value = SourceValue(qryAccPodaci, fieldName);
    if (value.text == "0") value = {};  // "0": no sign
    // A sign the ZNAK table does not know is written as its identifier.
    if (!value.text.empty() && qryAccSlike->Locate("id_znak_tabela1", Variant(value.text), loNone))
      value = SourceValue(qryAccSlike, "naziv");
    return value;
  }
  return SourceValue(qryAccPodaci, SourceColumnOf(fieldName));
}

bool TForm6::ListValueChange(const std::string& what, const std::string& table, TFIBStringField* field,
                             const TSourceValue& value, TTransferProgress& progress) {
  if (value.stored.empty()) return false;
  const TTargetColumn& column = m_targetMetadata->TextColumn(table, field->FieldName());
  const std::string change = DescribeValueChange(value.stored, field->AsString(), column);
  if (change.empty()) return false;
  lbErr->Items().Add(kValueChangedPrefix + what + ": " + table + "." + field->FieldName() + ": " + change);
  ++progress.valuesChanged;
  return true;
}

bool TForm6::PostNewRow(TpFIBDataSet* dataSet, TTransferProgress& progress) {
  if (RowAlreadyPresent && RowAlreadyPresent(dataSet)) {
    dataSet->Cancel();
    ++progress.alreadyPresent;
    return false;
  }
  dataSet->Post();
  ++progress.rowsWritten;
  return true;
}

void TForm6::TransferArticle(const std::string& catalogueNumber, TTransferProgress& progress) {
  const TCatalogueKey article = NormaliseCatalogueNumber(catalogueNumber);
  // The locate's position refresh already re-runs the detail query (through
  // dsRoba), for the previous article and, when Roba moves, the found one.
  if (!Roba->Locate("KATBRPRO;GRUPAID", VarArrayOf({Variant(article.key), Variant(article.group)}), loNone)) {
    ++progress.read;
    ++progress.notFound;
    lbErr->Items().Add("Ne postoji: " + article.group + ": " + article.key);
    return;
  }
  ++progress.read;
  ++progress.found;
  qryExtraData->Close();
  qryExtraData->ParamByName("BRDOK")->SetAsVariant(Variant(RobaROBAID->AsInteger()));
  qryExtraData->Open();

  qryEDSif->First();
  while (!qryEDSif->Eof()) {
    // Every definition's column was checked before the first row.
    const TSourceValue value = DefinitionValue(qryEDSifET_FIELD->AsString());
    bool posted = false;
    try {
      qryExtraData->Append();
      qryExtraDataVRDOK->SetAsInteger(-2);
      qryExtraDataBRDOK->SetAsInteger(RobaROBAID->AsInteger());
      qryExtraDataEDID->SetAsInteger(qryEDSifEDID->AsInteger());
      qryExtraDataVREDNOST->SetAsString(value.text);
      qryExtraDataREDOSLED->SetAsInteger(qryEDSifREDOSLED->AsInteger());
      const std::string what = catalogueNumber + " (" + qryEDSifNAZIV->AsString() + ", EDID " +
                               std::to_string(qryEDSifEDID->AsInteger()) + ")";
      if (ListValueChange(what, "EXTRA_DATA", qryExtraDataVREDNOST, value, progress) && StrictValues)
        throw EDatabaseError("changed value refused");
      posted = PostNewRow(qryExtraData, progress);
    } catch (...) {
      // The rows written before stay; the rest of this article is skipped.
      // The refused row goes, as the marking transfer's does: left pending
      // it would show in the detail grid as if written.
      try {
        if (qryExtraData->State() == dsInsert) qryExtraData->Cancel();
      } catch (...) {
        // A lost connection: the row goes with the dataset's next close.
      }
      ++progress.refused;
      lbErr->Items().Add("Greska 2: " + catalogueNumber);
      return;
    }
    if (posted) CountDefinitionRow(progress, qryEDSifEDID->AsInteger(), qryEDSifNAZIV->AsString());
    qryEDSif->Next();
  }
}

namespace {

// One run's progress: reported when the run starts, by Step after each
// source row, and on every way out of the run as finished.
class TProgressReport {
 public:
  TProgressReport(TForm6& form, TForm6::TTransferProgress::TTransfer transfer, int total)
      : m_form(form), m_linesBefore(form.lbErr->Items().Count()) {
    progress.transfer = transfer;
    progress.total = total;
    Report();
  }
  ~TProgressReport() {
    progress.finished = true;
    Report();
  }
  TProgressReport(const TProgressReport&) = delete;
  TProgressReport& operator=(const TProgressReport&) = delete;

  void Step() {
    ++progress.done;
    Report();
  }
  // Whether the run is to end after the row just stepped past (the last
  // row ends it anyway, as a run that was not interrupted).
  bool Interrupted() {
    const bool last = progress.total >= 0 && progress.done >= progress.total;
    if (last || !m_form.StopRequested || !m_form.StopRequested()) return false;
    progress.interrupted = true;
    return true;
  }

  TForm6::TTransferProgress progress;

 private:
  void Report() {
    progress.linesAdded = m_form.lbErr->Items().Count() - m_linesBefore;
    if (m_form.OnTransferProgress) m_form.OnTransferProgress(progress);
  }

  TForm6& m_form;
  const int m_linesBefore;
};

}  // namespace

void TForm6::Button1Click(TComponent* Sender) {
  CheckSourceColumns();
  TProgressReport report(*this, TTransferProgress::tkArticles, qryAccPodaci->RecordCount());
  qryAccPodaci->First();
  while (!qryAccPodaci->Eof()) {
    const std::string catalogueNumber = SourceText("KAT_BROJ");
    if (!catalogueNumber.empty()) {
      TransferArticle(catalogueNumber, report.progress);
    } else {
      // Skipped without a line, as ever; only counted, so that the figures add up.
      ++report.progress.read;
      ++report.progress.skipped;
    }
    report.Step();
    if (report.Interrupted()) break;
    qryAccPodaci->Next();
  }
  // The posted rows lack the definitions' names the join brings: the
  // current article's rows are read again.
  dsRobaDataChange(dsRoba, nullptr);
}

namespace {

// A marking's value: variant to text, so a null fails here.
TForm6::TSourceValue MarkingValue(TADOQuery* query, const char* column) {
  TField* field = query->FieldByName(column);
  TForm6::TSourceValue value{field->Value().AsString(), {}};
  std::optional<std::u16string> stored = query->StoredText(field);
  value.stored = stored ? std::move(*stored) : AnsiToWide(value.text);
  return value;
}

}  // namespace

void TForm6::Button2Click(TComponent* Sender) {
  CheckMarkingColumns();
  TProgressReport report(*this, TTransferProgress::tkMarkings, qryAccHPOznake->RecordCount());
  qryEDHiP->Open();
  qryAccHPOznake->First();
  while (!qryAccHPOznake->Eof()) {
    qryEDHiP->Append();
    try {
      ++report.progress.read;
      const TSourceValue id = MarkingValue(qryAccHPOznake, "id");
      const TSourceValue name = MarkingValue(qryAccHPOznake, "naziv");
      qryEDHiPID->SetAsString(id.text);
      qryEDHiPNAZIV->SetAsString(name.text);
      const std::string what = "HP oznaka " + id.text;
      const bool idChanged = ListValueChange(what, "EXTRA_DATA_OZNAKE", qryEDHiPID, id, report.progress);
      const bool nameChanged = ListValueChange(what, "EXTRA_DATA_OZNAKE", qryEDHiPNAZIV, name, report.progress);
      if ((idChanged || nameChanged) && StrictValues)
        throw EDatabaseError(lbErr->Items()[lbErr->Items().Count() - 1]);
      PostNewRow(qryEDHiP, report.progress);
    } catch (...) {
      // The failed row is dropped rather than left pending: the next press
      // would post it first, storing a half-filled row or one the database
      // refused, before copying every marking again.
      ++report.progress.refused;
      if (qryEDHiP->State() == dsInsert) qryEDHiP->Cancel();
      throw;
    }
    report.Step();
    if (report.Interrupted()) break;
    qryAccHPOznake->Next();
  }
}
