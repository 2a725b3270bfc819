// TpFIBDataSet: the record count by query on top of the core.
#include "fib/pFIBDataSet.h"

#include <algorithm>

TpFIBDataSet::TpFIBDataSet(TComponent* AOwner) : TFIBDataSet(AOwner) {}

TpFIBDataSet::~TpFIBDataSet() {
  Destroying();
  SetActive(false);
}

int TpFIBDataSet::GetRecordCount() const {
  int counted = 0;
  if (HasPrepareOption(psAskRecordCount) && OnAskRecordCount)
    OnAskRecordCount(const_cast<TpFIBDataSet*>(this), counted);
  return std::max(TFIBDataSet::GetRecordCount(), std::max(counted, m_recordCountFromSrv));
}
