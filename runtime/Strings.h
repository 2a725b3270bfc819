// A list of text lines with name=value access and change events; carries
// connection and transaction parameters and SQL texts. Every modification
// fires OnChanging before and OnChange after it. Index errors raise
// Exception "List index out of bounds (%d)".
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>


class TStrings {
 public:
  using TNotifyEvent = std::function<void(TStrings* Sender)>;

  TStrings() = default;
  TStrings(std::initializer_list<std::string> lines);
  TStrings(const TStrings& other);             // copies lines, not events
  TStrings& operator=(const TStrings& other);  // Assign

  int Count() const noexcept { return static_cast<int>(m_lines.size()); }
  const std::string& operator[](int index) const;
  const std::string& Strings(int index) const { return (*this)[index]; }
  void SetStrings(int index, const std::string& line);
  const std::vector<std::string>& Lines() const noexcept { return m_lines; }

  int Add(const std::string& line);
  void Insert(int index, const std::string& line);
  void Delete(int index);
  void Clear();
  void Assign(const TStrings& other);
  void AddStrings(const TStrings& other);
  int IndexOf(std::string_view line) const;  // case-insensitive

  // All lines, each followed by "\r\n".
  std::string Text() const;
  // Replaces the lines by the text split at CR, LF or CR LF.
  void SetText(std::string_view text);
  // Lines joined by ",", each quoted when it holds blanks, commas or quotes.
  std::string CommaText() const;

  // name=value access: a line's name is the text before its first "=";
  // names are compared ignoring case.
  std::string Names(int index) const;
  std::string ValueFromIndex(int index) const;
  int IndexOfName(std::string_view name) const;
  std::string Values(std::string_view name) const;
  // Sets the value of the named line; an empty value deletes the line.
  void SetValues(std::string_view name, const std::string& value);

  // Grouping: within BeginUpdate/EndUpdate, OnChanging fires once before
  // the first change and OnChange once at the outermost EndUpdate, and only
  // when something changed.
  void BeginUpdate();
  void EndUpdate();

  TNotifyEvent OnChanging;
  TNotifyEvent OnChange;

 private:
  void Changing();
  void Changed();

  std::vector<std::string> m_lines;
  int m_updateCount = 0;
  bool m_changedInUpdate = false;
};
