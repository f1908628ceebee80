// The OpenAPI 3.1 description of the JSON interface, served at
// /api/v1/openapi.json. The build embeds views/json/openapi.json with its
// whitespace between tokens taken out (cmake/embed_json.cmake).
#pragma once

#include <string_view>

// The document's JSON text; it lives as long as the program.
std::string_view openApiDocument();
