// TStrings: lines with name=value access and change notification.
#include "runtime/Strings.h"

#include "runtime/CodePage.h"
#include "runtime/Exceptions.h"
#include "runtime/Format.h"

TStrings::TStrings(std::initializer_list<std::string> lines) : m_lines(lines) {}

TStrings::TStrings(const TStrings& other) : m_lines(other.m_lines) {}

TStrings& TStrings::operator=(const TStrings& other) {
  Assign(other);
  return *this;
}

const std::string& TStrings::operator[](int index) const {
  if (index < 0 || index >= Count())
    throw Exception(Format("List index out of bounds (%d)", {index}));
  return m_lines[static_cast<size_t>(index)];
}

void TStrings::SetStrings(int index, const std::string& line) {
  if (index < 0 || index >= Count())
    throw Exception(Format("List index out of bounds (%d)", {index}));
  Changing();
  m_lines[static_cast<size_t>(index)] = line;
  Changed();
}

int TStrings::Add(const std::string& line) {
  Changing();
  m_lines.push_back(line);
  Changed();
  return Count() - 1;
}

void TStrings::Insert(int index, const std::string& line) {
  if (index < 0 || index > Count())
    throw Exception(Format("List index out of bounds (%d)", {index}));
  Changing();
  m_lines.insert(m_lines.begin() + index, line);
  Changed();
}

void TStrings::Delete(int index) {
  if (index < 0 || index >= Count())
    throw Exception(Format("List index out of bounds (%d)", {index}));
  Changing();
  m_lines.erase(m_lines.begin() + index);
  Changed();
}

void TStrings::Clear() {
  if (m_lines.empty()) return;
  Changing();
  m_lines.clear();
  Changed();
}

void TStrings::Assign(const TStrings& other) {
  if (&other == this) return;
  Changing();
  m_lines = other.m_lines;
  Changed();
}

void TStrings::AddStrings(const TStrings& other) {
  if (other.m_lines.empty()) return;
  std::vector<std::string> copy = other.m_lines;  // other may be this list
  Changing();
  m_lines.insert(m_lines.end(), copy.begin(), copy.end());
  Changed();
}

int TStrings::IndexOf(std::string_view line) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(m_lines[static_cast<size_t>(i)], line)) return i;
  return -1;
}

std::string TStrings::Text() const {
  // Datasets take their statement's text on every open: one allocation.
  size_t size = 0;
  for (const auto& l : m_lines) size += l.size() + 2;
  std::string out;
  out.reserve(size);
  for (const auto& l : m_lines) {
    out += l;
    out += "\r\n";
  }
  return out;
}

void TStrings::SetText(std::string_view text) {
  std::vector<std::string> lines;
  size_t i = 0;
  while (i < text.size()) {
    size_t end = text.find_first_of("\r\n", i);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(i));
      break;
    }
    lines.emplace_back(text.substr(i, end - i));
    i = end + 1;
    if (text[end] == '\r' && i < text.size() && text[i] == '\n') ++i;
  }
  Changing();
  m_lines = std::move(lines);
  Changed();
}

std::string TStrings::CommaText() const {
  std::string out;
  for (size_t k = 0; k < m_lines.size(); ++k) {
    const std::string& l = m_lines[k];
    if (k) out += ',';
    bool quote = l.empty();
    for (char c : l)
      if (static_cast<unsigned char>(c) <= ' ' || c == ',' || c == '"') quote = true;
    if (!quote) {
      out += l;
      continue;
    }
    out += '"';
    for (char c : l) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out;
}

std::string TStrings::Names(int index) const {
  const std::string& l = (*this)[index];
  size_t eq = l.find('=');
  return eq == std::string::npos ? std::string() : l.substr(0, eq);
}

std::string TStrings::ValueFromIndex(int index) const {
  const std::string& l = (*this)[index];
  size_t eq = l.find('=');
  return eq == std::string::npos ? std::string() : l.substr(eq + 1);
}

int TStrings::IndexOfName(std::string_view name) const {
  for (int i = 0; i < Count(); ++i) {
    const std::string& l = m_lines[static_cast<size_t>(i)];
    size_t eq = l.find('=');
    if (eq != std::string::npos && SameText(std::string_view(l).substr(0, eq), name)) return i;
  }
  return -1;
}

std::string TStrings::Values(std::string_view name) const {
  int i = IndexOfName(name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStrings::SetValues(std::string_view name, const std::string& value) {
  int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) Delete(i);
    return;
  }
  std::string line = std::string(name) + "=" + value;
  if (i < 0)
    Add(line);
  else
    SetStrings(i, line);
}

void TStrings::BeginUpdate() { ++m_updateCount; }

void TStrings::EndUpdate() {
  if (m_updateCount == 0) return;
  if (--m_updateCount == 0 && m_changedInUpdate) {
    m_changedInUpdate = false;
    if (OnChange) OnChange(this);
  }
}

void TStrings::Changing() {
  if (m_updateCount > 0) {
    // Within an update the listeners hear "changing" once, before the first
    // change, and "changed" once at the end.
    if (m_changedInUpdate) return;
    m_changedInUpdate = true;
  }
  if (OnChanging) OnChanging(this);
}

void TStrings::Changed() {
  if (m_updateCount > 0) return;
  if (OnChange) OnChange(this);
}
