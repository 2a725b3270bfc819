// TpFIBDataSet: the Firebird dataset the tool instantiates. Adds to the core
// the default values of new rows, automatic field formats and the field
// information from the database, and the record count by query.
#pragma once

#include "fib/FIBDataSet.h"
#include "fib/pFIBDataInfo.h"

class TpFIBDataSet : public TFIBDataSet {
 public:
  explicit TpFIBDataSet(TComponent* AOwner = nullptr);
  ~TpFIBDataSet() override;

  // Rows counted by a count query (psAskRecordCount); 0 while not asked.
  int RecordCountFromSrv() const noexcept { return m_recordCountFromSrv; }
  std::function<void(TFIBCustomDataSet* DataSet, int& Count)> OnAskRecordCount;

 protected:
  // The larger of the rows fetched and the count by query.
  int GetRecordCount() const override;

 private:
  int m_recordCountFromSrv = 0;
  TFieldInfoPlan m_fieldInfoPlan;  // the field-information step's lookups

  // -------------------------------------------------------------------------
  // Declarations added by the field classes / metadata / posting side go
  // below this line (overrides of the hooks of TFIBCustomDataSet).
 protected:
  // Column metadata (pFIBDataInfo.cpp): boolean domains, the field
  // information after open, and the empty-string rule's lookup.
  bool ColumnIsBoolean(int column) override;
  void ApplyFieldsInfo() override;
  bool EmptyStringIsNull(TField* field, const TFIBFieldDescr& column) override;
  // String fields (FIBFields.cpp): explicit-length assignments, EmptyStrToNull.
  int StringStoreLength(const TField* field) const override;
  bool FieldEmptyStrToNull(const TField* field) const override;
};
