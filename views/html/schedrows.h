// The timer table's rows, rendered from the schedule rows template.
#pragma once

#include <string>
#include <string_view>

#include "quib/quib.h"

// Renders the table from state.rows, read first when they are not yet.
void execSchedrows(std::string_view path, TemplateContext* context);

// Expands text with elements (directives on, no processor, "text" directives
// from the catalogue) into a new text.
// The list is lent to the expansion and handed back unchanged.
std::string applyTemplate(std::string_view text, ElementList& elements);
// The same for a template parsed beforehand.
std::string applyTemplate(const QuibTemplate& parsed, ElementList& elements);
