// The interface's description and the calendar feed of the recordings.
#include <string>

#include "app/api_call.h"
#include "texts/catalogue.h"
#include "views/json/openapi_document.h"

void serveOpenApi(ApiCall&) {
  answerJson("200 OK", openApiDocument());
}

void serveFeed(ApiCall&) {
  failCall(Problem::kNotFound, {std::string(textOf(Text::kApiNoResource))});
}
