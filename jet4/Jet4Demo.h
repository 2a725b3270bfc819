// The demo source database: a small paints and chemicals catalogue with the
// tables and columns the transfer tool reads (TABELA1, ZNAK, HPOznake). Written
// by `mdbwrite --demo`; tests may use it as a ready-made VT2003.mdb.
#pragma once

#include "jet4/Jet4Writer.h"

#include <vector>

// TABELA1: 50 products (AutoNumber ID, KAT_BROJ text 20, texts, a memo, the
// sign columns ZNAK_1..ZNAK_5 as text identifiers with "0" for none, Yes/No,
// Double, Currency, Date/Time); ZNAK: id_znak_tabela1 long, naziv, oznaka;
// HPOznake: id, naziv, vrsta (all text).
std::vector<Jet4Table> Jet4DemoTables();
