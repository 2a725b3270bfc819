// Parameter lists and option objects of the Firebird components: the
// connection parameter list with its named view, and the option sets that
// databases and transactions publish.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "runtime/Strings.h"

class TComponent;

// Plain notification of the layer's components (sender: the raising component).
using TFIBNotifyEvent = std::function<void(TComponent* Sender)>;

// How a transaction ends (on request, on timeout, on disconnect, on destruction).
enum TTransactionAction { TARollback, TARollbackRetaining, TACommit, TACommitRetaining };

// What datasets may take from the repositories; read by datasets.
enum TFIBUseRepository : uint8_t { urFieldsInfo = 1, urDataSetInfo = 2, urErrorMessagesInfo = 4 };
using TFIBUseRepositories = uint8_t;
inline constexpr TFIBUseRepositories kDefaultUseRepositories =
    urFieldsInfo | urDataSetInfo | urErrorMessagesInfo;

// Design-time storage choices of a database.
enum TDesignDBOption : uint8_t { ddoIsDefaultDatabase = 1, ddoStoreConnected = 2 };
using TDesignDBOptions = uint8_t;

// Presets a TpFIBTransaction applies to its TRParams at every start.
enum TTPBMode { tpbDefault, tpbReadCommitted, tpbRepeatableRead };

// Local cache of schema information; inactive by default.
struct TCacheSchemaOptions {
  std::string LocalCacheFile;
  bool AutoSaveToFile = false;
  bool AutoLoadFromFile = false;
  bool ValidateAfterLoad = true;
};

// A named view of some DBParams lines; holds no data of its own.
//
// Reading finds the first line whose name occurs (ignoring ASCII case) at its
// first character or after an eight-character prefix such as "isc_dpb_", and
// returns the text after the first "=" of that line, or empty. Writing a
// non-empty value replaces that line with name=value, or appends one; writing
// an empty value deletes the line.
class TConnectParams {
 public:
  // `params` must outlive this object (the database owns both).
  explicit TConnectParams(TStrings& params) : m_params(params), m_ib2007(params) {}

  std::string UserName() const { return Param("user_name"); }
  void SetUserName(const std::string& v) { SetParam("user_name", v); }
  std::string Password() const { return Param("password"); }
  void SetPassword(const std::string& v) { SetParam("password", v); }
  std::string RoleName() const { return Param("sql_role_name"); }
  void SetRoleName(const std::string& v) { SetParam("sql_role_name", v); }
  std::string CharSet() const { return Param("lc_ctype"); }
  // The character set is stored in ASCII upper case.
  void SetCharSet(const std::string& v);

  class TIBConnectParams {
   public:
    explicit TIBConnectParams(TStrings& params) : m_params(params) {}
    std::string InstanceName() const;
    void SetInstanceName(const std::string& v);

   private:
    TStrings& m_params;
  };
  TIBConnectParams& IB2007() { return m_ib2007; }

  // The lookup and update rules above, for any parameter name.
  static int FindParam(const TStrings& params, std::string_view name);
  static std::string ReadParam(const TStrings& params, std::string_view name);
  static void WriteParam(TStrings& params, std::string_view name, const std::string& value);

 private:
  std::string Param(std::string_view name) const { return ReadParam(m_params, name); }
  void SetParam(std::string_view name, const std::string& v) { WriteParam(m_params, name, v); }

  TStrings& m_params;
  TIBConnectParams m_ib2007;
};
