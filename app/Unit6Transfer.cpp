// The two transfers of the main window: the per-article extra data from the
// catalogue records ("Prepisi u artile") and the marking list ("Prepisi HP
// oznake"). Each written row is committed on its own by the datasets'
// AutoCommit.
#include <algorithm>
#include <string>

#include "app/Unit6.h"

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

std::string TForm6::DefinitionValue(const std::string& fieldName) {
  // The name is compared byte for byte: a lower-case "znak_3" is a plain column.
  if (fieldName == "TEMPERATURA_SKLADIST") return SourceText("TEMPERATURA_SKLADISTENJA");
  for (const char* sign : {"ZNAK_1", "ZNAK_2", "ZNAK_3", "ZNAK_4", "ZNAK_5"}) {
    if (fieldName != sign) continue;
    std::string value = SourceText(fieldName);
    if (value == "0") value.clear();  // "0": no sign
    // A sign the ZNAK table does not know is written as its identifier.
    if (!value.empty() && qryAccSlike->Locate("id_znak_tabela1", Variant(value), loNone))
      value = qryAccSlike->FieldByName("naziv")->AsString();
    return value;
  }
  return SourceText(fieldName);
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
    // Outside the guard: a column missing from the source stops the run.
    const std::string value = DefinitionValue(qryEDSifET_FIELD->AsString());
    try {
      qryExtraData->Append();
      qryExtraDataVRDOK->SetAsInteger(-2);
      qryExtraDataBRDOK->SetAsInteger(RobaROBAID->AsInteger());
      qryExtraDataEDID->SetAsInteger(qryEDSifEDID->AsInteger());
      qryExtraDataVREDNOST->SetAsString(value);
      qryExtraDataREDOSLED->SetAsInteger(qryEDSifREDOSLED->AsInteger());
      qryExtraData->Post();
      ++progress.rowsWritten;
    } catch (...) {
      // The rows written before stay; the rest of this article is skipped.
      // The refused row stays pending until qryExtraData next closes.
      ++progress.refused;
      lbErr->Items().Add("Greska 2: " + catalogueNumber);
      return;
    }
    CountDefinitionRow(progress, qryEDSifEDID->AsInteger(), qryEDSifNAZIV->AsString());
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
    qryAccPodaci->Next();
  }
}

void TForm6::Button2Click(TComponent* Sender) {
  TProgressReport report(*this, TTransferProgress::tkMarkings, qryAccHPOznake->RecordCount());
  qryEDHiP->Open();
  qryAccHPOznake->First();
  while (!qryAccHPOznake->Eof()) {
    qryEDHiP->Append();
    try {
      ++report.progress.read;
      // Variant to text: a null identifier or text fails here.
      qryEDHiPID->SetAsString(qryAccHPOznake->FieldByName("id")->Value().AsString());
      qryEDHiPNAZIV->SetAsString(qryAccHPOznake->FieldByName("naziv")->Value().AsString());
      qryEDHiP->Post();
      ++report.progress.rowsWritten;
    } catch (...) {
      // The failed row is dropped rather than left pending: the next press
      // would post it first, storing a half-filled row or one the database
      // refused, before copying every marking again.
      ++report.progress.refused;
      if (qryEDHiP->State() == dsInsert) qryEDHiP->Cancel();
      throw;
    }
    report.Step();
    qryAccHPOznake->Next();
  }
}
