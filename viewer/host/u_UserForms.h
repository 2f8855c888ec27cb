// The book's user forms: extra modal windows, each showing one page of the book with the size,
// position, border, buttons, caption and scroll bars its author chose. The definitions come from
// the user-forms file as the start-up's reading gives them (TBookReader::ReadUserForms); TUserForm
// is one definition and applies itself to a fresh TfrmUserForm.
#pragma once

#include "u_BookReader.h"
#include "u_Dictionary.h"
#include "u_SysUtils.h"

#include <cstdint>
#include <string>
#include <string_view>

class TfrmUserForm;

TV_DECLARE_EXCEPTION(EUserFormsError, Exception);

inline constexpr const char* SFormNotFound = "Form \"%s\" not found";
inline constexpr const char* SNoActiveForm = "There is no active form";

class TUserForm : public TUserFormDefinition {
  public:
    explicit TUserForm(TUserFormDefinition definition) : TUserFormDefinition(std::move(definition)) {}

    // Bounds, border icons, border style, caption, scroll bars, centring, then the navigation to
    // "mfs:" plus Path, in this order.
    void ApplyTo(TfrmUserForm& form) const;
};

class TUserForms {
  public:
    // No forms: the book names no user-forms file.
    TUserForms() = default;
    // The forms of the file; a later definition of a name replaces an earlier one.
    explicit TUserForms(const TUserFormsFile& file);
    TUserForms(const TUserForms&) = delete;
    TUserForms& operator=(const TUserForms&) = delete;

    // The definition of name (compared ignoring case), or nullptr.
    TUserForm* FindForm(std::string_view name) const;
    int32_t Count() const { return FForms.Count(); }

  private:
    TObjectDictionary<TUserForm> FForms{true, true, true};
};
