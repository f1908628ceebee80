// The page's language and the form that chooses it.
#include "views/html/language_form.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "texts/catalogue.h"

namespace {

constexpr std::string_view kSelected = " selected";

void appendOption(std::string& options, std::string_view tag, std::string_view label,
                  bool selected) {
  options += "<option value=\"";
  options += tag;
  options += '"';
  if (!tag.empty()) {
    options += " lang=\"";
    options += tag;
    options += '"';
  }
  if (selected) options += kSelected;
  options += '>';
  options += label;
  options += "</option>";
}

}  // namespace

ElementList langElement(ElementList list) {
  return strelem("lang", spokenCatalogue().tag, std::move(list));
}

std::string languageOptions(std::string_view chosen) {
  std::string options;
  appendOption(options, "", textOf(Text::kLanguageAutomatic), chosen.empty());
  for (size_t i = 0; i < catalogueCount(); ++i) {
    const Catalogue& language = catalogueAt(i);
    if (language.offered)
      appendOption(options, language.tag, language.name, language.tag == chosen);
  }
  return options;
}

ElementList languageFormElements(const std::string& options, ElementList list) {
  return strelem("languageOptions", options, std::move(list));
}
