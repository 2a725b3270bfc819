// The demo source database: a small paints and chemicals catalogue with the
// tables and columns the transfer tool reads (TABELA1, ZNAK, HPOznake).
#pragma once

#include "Jet4Writer.h"

#include <vector>

std::vector<Jet4Table> DemoTables();
