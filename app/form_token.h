// One-time form tokens of the timer actions.
#pragma once

// True when "formtoken" was drawn for the request's session (or, with
// signInPage, is the sign-in page's token that its cookie repeats).
bool formTokenValid(bool signInPage);
// Records the request's "formtoken" in a transaction that stays open until
// commitFormToken (the action committed) or releaseFormToken (it did
// nothing); false for a form already sent. Whatever ends the request before
// leaves the token usable.
bool claimFormToken();
void commitFormToken();
void releaseFormToken();
