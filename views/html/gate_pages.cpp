// The sign-in gate's pages: which box a message goes into, which field it
// marks, and what the password page leaves out.
#include "views/html/gate_pages.h"

#include <string>

#include "quib/quib.h"
#include "texts/catalogue.h"
#include "views/html/language_form.h"

namespace {

constexpr const char* kSignInTemplate = "login.shtml";
constexpr const char* kPasswordTemplate = "chpass.shtml";

// Marks a field as the one that the refusal in the box "msg-error" concerns.
constexpr std::string_view kInvalidField = " aria-invalid=\"true\" aria-describedby=\"msg-error\"";
constexpr std::string_view kFocus = " autofocus";

enum class Field { kNone, kSignIn, kOldPassword, kNewPassword, kNewPasswordAgain };

// Messages that report what happened or what to do next; every other one
// refuses what the request asked for.
bool isOutcome(Text message) {
  return message == Text::kLoggedOut || message == Text::kPasswordChanged ||
         message == Text::kChooseNewPassword;
}

// The field whose value a refusal concerns.
Field fieldOf(Text message) {
  switch (message) {
    case Text::kInvalidLogin:
      return Field::kSignIn;
    case Text::kInvalidOldPassword:
      return Field::kOldPassword;
    case Text::kPasswordMismatch:
      return Field::kNewPasswordAgain;
    case Text::kPasswordTooLong:
    case Text::kPasswordTooShort:
    case Text::kPasswordTooCommon:
    case Text::kPasswordIsUserName:
    case Text::kPasswordIsInitial:
      return Field::kNewPassword;
    default:
      return Field::kNone;
  }
}

// Expands the password page's optional parts only where the page has them.
void gateProcessor(std::string_view name, std::string_view path, TemplateContext* context) {
  const auto* page = static_cast<const GatePage*>(context->userData);
  if ((name == "chpassold" && !page->asksCurrentPassword) ||
      (name == "chpassback" && !page->backToTimers)) {
    return;
  }
  readTextFile(std::string(path), context, printSimpleText);
}

}  // namespace

void displayGatePage(const GatePage& page) {
  quibPrintHttpHeader();
  const std::string_view message = page.message ? page.messageText : std::string_view();
  const bool outcome = page.message && isOutcome(*page.message);
  const Field field = page.message ? fieldOf(*page.message) : Field::kNone;
  const auto invalidIf = [field](Field which) {
    return field == which ? kInvalidField : std::string_view();
  };
  // Without the current-password field the first field to fill is the new one.
  const std::string newPasswordAttrs =
      std::string(invalidIf(Field::kNewPassword)) +
      std::string(page.asksCurrentPassword ? std::string_view() : kFocus);
  const std::string user = quibHtmlEscape(page.user);
  const std::string proof = quibHtmlEscape(page.signInProof);
  const std::string options =
      page.kind == GatePageKind::kSignIn ? languageOptions(page.languageChoice) : std::string();

  TemplateContext context;
  context.texts = textOfName;
  ElementList list = strelem("signinproof", proof, nullptr);
  list = strelem("user", user, std::move(list));
  list = strelem("formtoken", page.formToken, std::move(list));
  list = strelem("newpass2Attrs", invalidIf(Field::kNewPasswordAgain), std::move(list));
  list = strelem("newpass1Attrs", newPasswordAttrs, std::move(list));
  list = strelem("oldpassAttrs", invalidIf(Field::kOldPassword), std::move(list));
  list = strelem("passAttrs", invalidIf(Field::kSignIn), std::move(list));
  list = strelem("loginAttrs", invalidIf(Field::kSignIn), std::move(list));
  list = strelem("msgNotice", outcome ? message : std::string_view(), std::move(list));
  list = strelem("msgError", outcome ? std::string_view() : message, std::move(list));
  list = strelem("msg", message, std::move(list));
  list = langElement(std::move(list));
  if (page.kind == GatePageKind::kSignIn) list = languageFormElements(options, std::move(list));
  context.elements = std::move(list);
  context.directives = 1;
  context.processor = gateProcessor;
  GatePage shown = page;
  context.userData = &shown;
  readTextFile(page.kind == GatePageKind::kSignIn ? kSignInTemplate : kPasswordTemplate, &context,
               printSimpleText);
  disposeElems(std::move(context.elements));
}
