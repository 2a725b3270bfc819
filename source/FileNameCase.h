// Finding the Access file a Windows path means. The files come from Windows,
// where "vt2003.mdb" and "VT2003.mdb" are the same file; here letter case
// tells files apart.
#pragma once

#include <string>

// The path (UTF-8) that `path` means when letter case is ignored: `path`
// itself when it exists; otherwise every missing part of it is looked up in
// its folder ignoring case (the code page's accented letters too) and taken
// when exactly one entry matches. When several match, EDatabaseError names
// them (`displayName` names the file as the connection string gives it).
// When none matches, `path` comes back unchanged and opening it reports the
// missing file.
std::string ResolveFileNameCase(const std::string& path, const std::string& displayName);
