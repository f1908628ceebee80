// The one-time token of a submitted form: the first request that carries a
// token out records it; a later one with the same token is a form that was
// sent before (a reload, or back and reload) and carries out nothing.
#include "websched/websched.h"

bool claimFormToken() {
  ParamValue token = getParam("formtoken");
  if (!token || token->empty()) return true;
  return quibClaimFormToken(*token) == 1;
}
