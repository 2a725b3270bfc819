// TpFIBQuery: the execution retry loop.
#include "fib/pFIBQuery.h"

void TpFIBQuery::ExecQuery() {
  for (;;) {
    try {
      DoExecQuery();
      return;
    } catch (EFIBError& e) {
      if (!OnExecuteError) throw;
      TDataAction action = daFail;
      OnExecuteError(this, e, action);
      if (action == daFail) throw;
      if (action == daAbort) Abort();
      // daRetry: run the execution again.
    }
  }
}
