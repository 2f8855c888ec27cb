// The book's user forms: extra modal windows, each showing one page of the book with the size,
// position, border, buttons, caption and scroll bars its author chose. TUserForms reads the
// definitions from the user-forms file (root element of any name, "Form" children); TUserForm is
// one definition and applies itself to a fresh TfrmUserForm.
#pragma once

#include "u_Dictionary.h"
#include "u_SysUtils.h"

#include <cstdint>
#include <string>
#include <string_view>

class TMFSSession;
class TXMLNode;
class TfrmUserForm;

TV_DECLARE_EXCEPTION(EUserFormsError, Exception);

inline constexpr const char* SFormNotFound = "Form \"%s\" not found";
inline constexpr const char* SNoActiveForm = "There is no active form";

enum class TFormBorderStyle : uint8_t { bsNone, bsSingle, bsSizeable };

// Set of the window's border icons.
enum TBorderIcon : uint8_t { biSystemMenu = 1, biMinimize = 2, biMaximize = 4 };
using TBorderIcons = uint8_t;

class TUserForm {
  public:
    // Reads the definition from a "Form" element; path is its page, already made absolute.
    // Attribute values of the wrong type raise the XML reader's conversion error.
    TUserForm(const TXMLNode* element, std::string path);

    // Bounds, border icons, border style, caption, scroll bars, centring, then the navigation to
    // "mfs:" plus Path, in this order.
    void ApplyTo(TfrmUserForm& form) const;

    std::string Path;
    bool HideScrollBar = false;
    int32_t Width = -1;
    int32_t Height = -1;
    int32_t Top = -1;
    int32_t Left = -1;
    TFormBorderStyle BorderStyle = TFormBorderStyle::bsSingle;
    TBorderIcons BorderIcons = 0;
    std::string Caption;
    bool Center = false;
};

class TUserForms {
  public:
    // session: the system archive's session standing in the folder of the user-forms file; text:
    // that file's content. With no session (and no text) the collection is empty. A later
    // definition of a name replaces an earlier one.
    TUserForms(TMFSSession* session, std::string_view text);
    TUserForms(const TUserForms&) = delete;
    TUserForms& operator=(const TUserForms&) = delete;

    // The definition of name (compared ignoring case), or nullptr.
    TUserForm* FindForm(std::string_view name) const;
    int32_t Count() const { return FForms.Count(); }

  private:
    TObjectDictionary<TUserForm> FForms{true, true, true};
};
