// The login the window connects with. The stored one (SYSDBA with a
// one-character password) only suits the embedded engine; against a real
// server the user gives his own through Firebird's usual variables.
#include <cstdlib>

#include "app/Unit6.h"

void TForm6::ApplyEnvironmentLogin() {
  // An empty variable counts as unset: it would only make the login fail.
  // The values go through unchanged, as Firebird's own tools pass them.
  TConnectParams& params = pFIBDatabase->ConnectParams();
  if (const char* user = std::getenv("ISC_USER"); user && *user) params.SetUserName(user);
  if (const char* password = std::getenv("ISC_PASSWORD"); password && *password) params.SetPassword(password);
}
