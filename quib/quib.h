// quib: the small CGI toolkit of skedra. Each header declares one concern;
// this one includes them all for code that uses the toolkit throughout.
#pragma once

#include "quib/api_tokens.h"
#include "quib/cookies.h"
#include "quib/database.h"
#include "quib/form_tokens.h"
#include "quib/html.h"
#include "quib/params.h"
#include "quib/passwords.h"
#include "quib/response.h"
#include "quib/sessions.h"
#include "quib/sign_in.h"
#include "quib/template.h"
