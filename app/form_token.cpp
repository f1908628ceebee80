// The form token of an acting request: only a request that carries the token
// of a form the interface drew for its session acts, and only once. The
// token is recorded in a transaction that stays open until the action has
// committed: a failed action ends the request with the token unrecorded, so
// that the form can be sent again.
#include "app/form_token.h"

#include "quib/quib.h"

bool formTokenValid(bool signInPage) {
  return quibCheckFormToken(getParam("formtoken"), signInPage) == 1;
}

bool claimFormToken() {
  ParamValue token = getParam("formtoken");
  return token && quibBeginFormTokenClaim(*token) == 1;
}

void commitFormToken() {
  quibCommitFormTokenClaim();
}

void releaseFormToken() {
  quibReleaseFormTokenClaim();
}
