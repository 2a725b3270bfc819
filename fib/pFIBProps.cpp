// The named view of connection parameters.
#include "fib/pFIBProps.h"

#include "runtime/CodePage.h"

namespace {

bool SameAsciiText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

int TConnectParams::FindParam(const TStrings& params, std::string_view name) {
  for (int i = 0; i < params.Count(); ++i) {
    std::string_view line = params[i];
    // At the first character, or after an eight-character prefix such as "isc_dpb_".
    if (SameAsciiText(line.substr(0, name.size()), name)) return i;
    if (line.size() > 8 && SameAsciiText(line.substr(8, name.size()), name)) return i;
  }
  return -1;
}

std::string TConnectParams::ReadParam(const TStrings& params, std::string_view name) {
  const int i = FindParam(params, name);
  if (i < 0) return {};
  const std::string& line = params[i];
  const size_t eq = line.find('=');
  return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

void TConnectParams::WriteParam(TStrings& params, std::string_view name, const std::string& value) {
  const int i = FindParam(params, name);
  if (value.empty()) {
    if (i >= 0) params.Delete(i);
    return;
  }
  const std::string line = std::string(name) + "=" + value;
  if (i >= 0)
    params.SetStrings(i, line);
  else
    params.Add(line);
}

void TConnectParams::SetCharSet(const std::string& v) { SetParam("lc_ctype", UpperCaseAscii(v)); }

std::string TConnectParams::TIBConnectParams::InstanceName() const {
  return ReadParam(m_params, "instance_name");
}

void TConnectParams::TIBConnectParams::SetInstanceName(const std::string& v) {
  WriteParam(m_params, "instance_name", v);
}
