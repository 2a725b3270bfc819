// libFuzzer target for the SQL text routines: classification, the parameter
// pre-check and scanner in both modes, the text to send and the ORDER BY and
// alias-info parsers. Any crash, hang or out-of-bounds read is a finding.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fib/SqlTxtRtns.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the null state of the parameters; the rest is the text.
  const uint8_t nullBits = data[0];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  const int first = FirstSignificantPos(text);
  if (first < 1 || first > static_cast<int>(text.size()) + 1) std::abort();
  const TSQLKind kind = StatementKind(text, first);
  (void)NoParamsInText(text);
  (void)ParseOrderBy(text);
  (void)ParseAliasInfo(data, static_cast<int>(size), 8);

  try {
    const TScanResult analysed = ScanSQLParams(text, kind, kind != skDDL, TScanMode::Analyse);
    const TScanResult prepared = ScanSQLParams(text, kind, kind != skDDL, TScanMode::Prepare);
    if (prepared.processed.size() != text.size()) std::abort();
    std::vector<TSendParam> send;
    int k = 0;
    for (const TSQLParamEntry& e : analysed.params) {
      if (e.start < 1 || e.end < e.start - 1 || e.end > static_cast<int>(text.size())) std::abort();
      TSendParam p;
      p.start = e.start;
      p.end = e.end;
      p.isMacro = e.isMacro;
      p.macroValue = "m";
      p.inWhere = e.inWhere;
      p.nullRewritable = e.nullRewritable;
      p.isNull = (nullBits >> (k++ % 8)) & 1;
      send.push_back(p);
    }
    std::vector<bool> rewritten;
    bool changed = false;
    const std::string sent = TextToSend(text, send, true, &rewritten, &changed);
    try {
      const TScanResult again = ScanSQLParams(sent, kind, kind != skDDL, TScanMode::Prepare);
      if (again.processed.size() != sent.size()) std::abort();
    } catch (const ESQLScanError&) {
    }
  } catch (const ESQLScanError&) {
  }
  return 0;
}
