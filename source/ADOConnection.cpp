// TADOConnection: connection string, connect (catalog read in the reader
// process), the queries that use it; TParameters.
#include <algorithm>
#include <filesystem>

#include "runtime/CodePage.h"
#include "runtime/Format.h"
#include "source/ADODB.h"
#include "source/ConnectionString.h"
#include "source/FileNameCase.h"

TADOConnection::TADOConnection(TComponent* AOwner) : TComponent(AOwner) {}

TADOConnection::~TADOConnection() {
  Destroying();
  // Queries owned by the same form may still be alive; they lose their
  // connection here, closed.
  Disconnect();
  for (TCustomADODataSet* ds : std::vector<TCustomADODataSet*>(m_dataSets)) ds->SetConnection(nullptr);
}

void TADOConnection::SetConnectionString(const std::string& value) {
  if (m_connected) DatabaseError("Operation is not allowed when the object is open", this);
  m_connectionString = value;
}

void TADOConnection::SetConnectionString(const std::u16string& value) {
  SetConnectionString(WideToAnsi(value));
}

void TADOConnection::SetConnected(bool value) {
  if (value == m_connected) return;
  if (value)
    Connect();
  else
    Disconnect();
}

void TADOConnection::Connect() {
  std::string text = m_connectionString;
  // The Provider property stands in for a string that names none.
  bool hasProvider = false;
  ConnectionValue(ParseConnectionPairs(text), "Provider", true, &hasProvider);
  if (!hasProvider && !m_provider.empty()) text = "Provider=" + m_provider + ";" + text;
  const TAccessConnectionInfo info = ParseAccessConnectionString(text);

  // DBQ is a Windows path; its backslashes separate folders here too.
  std::string file = AnsiToUtf8(info.databaseFile);
  std::replace(file.begin(), file.end(), '\\', '/');
  std::error_code ec;
  std::filesystem::path path = std::filesystem::absolute(std::filesystem::path(file), ec);
  if (ec) path = file;
  path = ResolveFileNameCase(path.string(), info.databaseFile);

  TMdbReadLimits limits;
  limits.idleTimeout = std::chrono::seconds(m_connectionTimeout > 0 ? m_connectionTimeout : 15);
  limits.childMemoryMb = m_readerMemoryMb;
  m_catalog = MdbReadCatalog(path.string(), info.databaseFile, limits);
  m_databaseFile = info.databaseFile;
  m_path = path.string();
  m_connected = true;
}

void TADOConnection::Disconnect() {
  if (!m_connected) return;
  for (TCustomADODataSet* ds : std::vector<TCustomADODataSet*>(m_dataSets)) ds->Close();
  m_connected = false;
  m_catalog = {};
}

std::vector<std::string> TADOConnection::GetTableNames() const {
  std::vector<std::string> names;
  for (const auto& t : m_catalog.tables) names.push_back(Utf8ToAnsi(t));
  return names;
}

std::string TADOConnection::ResolveTable(const std::string& name) const {
  for (const auto& t : m_catalog.tables)
    if (SameText(Utf8ToAnsi(t), name)) return t;
  throw EDatabaseError(Format(
      "The table '%s' does not exist in '%s'; make sure its name is spelled correctly",
      {name, m_databaseFile}));
}

TMdbTable TADOConnection::ReadTable(const std::string& storedName, int commandTimeout) const {
  TMdbReadLimits limits;
  limits.idleTimeout = std::chrono::seconds(commandTimeout > 0 ? commandTimeout : 30);
  limits.childMemoryMb = m_readerMemoryMb;
  return MdbReadTable(m_path, m_databaseFile, storedName, limits);
}

void TADOConnection::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove) {
    auto it = std::find(m_dataSets.begin(), m_dataSets.end(), AComponent);
    if (it != m_dataSets.end()) m_dataSets.erase(it);
  }
}

void TADOConnection::RegisterDataSet(TCustomADODataSet* ds) {
  if (std::find(m_dataSets.begin(), m_dataSets.end(), ds) == m_dataSets.end()) m_dataSets.push_back(ds);
}

void TADOConnection::UnregisterDataSet(TCustomADODataSet* ds) {
  auto it = std::find(m_dataSets.begin(), m_dataSets.end(), ds);
  if (it != m_dataSets.end()) m_dataSets.erase(it);
}

TParameter& TParameters::AddParameter(const std::string& name, TFieldType type, int size) {
  m_items.push_back(TParameter{name, type, size, Variant::Null()});
  return m_items.back();
}

TParameter* TParameters::FindParam(const std::string& name) {
  for (auto& p : m_items)
    if (SameText(p.Name, name)) return &p;
  return nullptr;
}

TParameter& TParameters::ParamByName(const std::string& name) {
  if (TParameter* p = FindParam(name)) return *p;
  throw EDatabaseError(Format("Parameter '%s' not found", {name}));
}
