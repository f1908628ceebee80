// The page's language: the "lang" of every page and the language form of the
// list and the sign-in page.
#pragma once

#include <string>
#include <string_view>

#include "quib/quib.h"

// Adds "lang": the tag of the language the page speaks.
ElementList langElement(ElementList list);
// The options of the language form: "Automatic" (value "") and every offered
// language by its own name, the one of chosen ("" for Automatic) selected.
std::string languageOptions(std::string_view chosen);
// Adds the language form's options as "languageOptions" (borrowed until the
// page is written); its label and button are catalogue texts.
ElementList languageFormElements(const std::string& options, ElementList list);
