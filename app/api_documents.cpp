// The interface's description and the calendar feed of the recordings.
#include <string>

#include "app/api_call.h"
#include "texts/catalogue.h"

void serveOpenApi(ApiCall&) {
  failCall(Problem::kNotFound, {std::string(textOf(Text::kApiNoResource))});
}

void serveFeed(ApiCall&) {
  failCall(Problem::kNotFound, {std::string(textOf(Text::kApiNoResource))});
}
