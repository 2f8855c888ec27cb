#include "u_UserForms.h"

#include "frm_UserForm.h"
#include "u_Text.h"

#include <memory>

void TUserForm::ApplyTo(TfrmUserForm& form) const {
    if (Width >= 0) form.SetWidth(Width);
    if (Height >= 0) form.SetHeight(Height);
    if (Left >= 0) form.SetLeft(Left);
    if (Top >= 0) form.SetTop(Top);
    form.SetBorderIcons(BorderIcons);
    form.SetBorderStyle(BorderStyle);
    form.SetCaption(Caption);
    if (HideScrollBar) {
        TUserInterfaceOptions options = form.webUserForm->UserInterfaceOptions();
        options.insert(TUserInterfaceOption::SCROLL_NO);
        form.webUserForm->SetUserInterfaceOptions(options);
    }
    if (Center) form.SetCenter(true);
    if (!Path.empty()) form.webUserForm->Navigate("mfs:" + Path);
}

TUserForms::TUserForms(const TUserFormsFile& file) {
    for (const TUserFormDefinition& definition : file.Forms)
    {
        auto form = std::make_unique<TUserForm>(definition);
        FForms.Set_Item(definition.Name, form.release());
    }
}

TUserForm* TUserForms::FindForm(std::string_view name) const {
    return FForms.Find(name);
}
