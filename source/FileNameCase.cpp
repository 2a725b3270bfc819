// Letter case of file names: the Windows reading of a path on a file system
// that tells cases apart.
#include "source/FileNameCase.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "runtime/CodePage.h"
#include "runtime/Exceptions.h"
#include "runtime/Format.h"

namespace fs = std::filesystem;

namespace {

// Entries of `folder` whose names equal `wanted` (system code page) ignoring
// case. A name the code page cannot hold exactly is never what a path in
// that code page meant.
std::vector<std::string> MatchesIgnoringCase(const fs::path& folder, const std::string& wanted) {
  std::vector<std::string> matches;
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const std::string ansi = Utf8ToAnsi(name);
    if (AnsiToUtf8(ansi) == name && SameText(ansi, wanted)) matches.push_back(name);
  }
  std::sort(matches.begin(), matches.end());
  return matches;
}

}  // namespace

std::string ResolveFileNameCase(const std::string& path, const std::string& displayName) {
  std::error_code ec;
  const fs::path given(path);
  if (fs::exists(given, ec)) return path;
  fs::path resolved = given.root_path();
  for (const fs::path& part : given.relative_path()) {
    fs::path next = resolved / part;
    if (part != "." && part != ".." && !fs::exists(next, ec)) {
      const std::vector<std::string> matches =
          MatchesIgnoringCase(resolved.empty() ? fs::path(".") : resolved, Utf8ToAnsi(part.string()));
      if (matches.empty()) return path;
      if (matches.size() > 1) {
        std::string names;
        for (const std::string& m : matches) names += (names.empty() ? "" : ", ") + Utf8ToAnsi(m);
        throw EDatabaseError(Format(
            "The file name '%s' matches several files that differ only in letter case: %s",
            {displayName, names}));
      }
      next = resolved / matches.front();
    }
    resolved = std::move(next);
  }
  return resolved.string();
}
