// A plain-text description of Jet 4 tables (what mdbwrite reads), turned into
// the writer's tables.
//
// Lines are split at tab characters; the first field says what the line is.
// Blank lines and lines starting with "#" are ignored.
//   table  <name>
//   column <name> <type> [<size> | <precision> <scale>]
//   row    <value> ...                (one value per column of the current table)
// Types (letter case ignored): text [size, default 50], memo, byte, integer,
// long, autonumber, single, double, currency, decimal [precision scale, default
// 18 0], yesno, datetime, binary [size, default 255], ole, guid.
// Values: \N is NULL; an empty value is the empty text in text and memo columns
// and NULL elsewhere; \t \n \r \\ stand for tab, line feed, carriage return and
// backslash. yesno takes 1/0, yes/no, true/false; datetime takes YYYY-MM-DD or
// YYYY-MM-DD HH:MM[:SS]; currency and decimal take decimal text ("-12.5");
// binary and ole take hexadecimal bytes ("4D5A90"); guid takes
// {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}; text and memo take UTF-8.
#pragma once

#include "jet4/Jet4Writer.h"

#include <istream>
#include <string>
#include <vector>

// Throws std::runtime_error naming the line for anything malformed.
std::vector<Jet4Table> ParseJet4Description(std::istream& in);
