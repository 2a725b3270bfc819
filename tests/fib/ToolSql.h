// SQL texts of the tool that several Firebird test files exercise.
#pragma once

#include <string>

// The select text of the tool's extra-data dataset, lines ending in CR LF.
inline const std::string kExtraDataSelect =
    "SELECT ed.*, eds.naziv\r\n"
    " from EXTRA_DATA ed\r\n"
    "left join extra_data_sif eds on ed.edid = eds.edid and eds.vrdok = -2\r\n"
    "\r\n"
    "WHERE ed.VRDOK = -2 AND ed.BRDOK = :BRDOK\r\n"
    "order by ed.redosled\r\n";
