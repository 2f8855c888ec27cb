#include "u_UserForms.h"

#include "frm_UserForm.h"
#include "u_MFS.h"
#include "u_Text.h"
#include "u_XMLParser.h"

TUserForm::TUserForm(const TXMLNode* element, std::string path) : Path(std::move(path)) {
    const TXMLAttributes& a = element->Attributes;
    HideScrollBar = a.ValueOf("HideScrollBar", Variant(false)).AsBoolean();
    Width = a.ValueOf("Width", Variant(int32_t(-1))).AsInteger();
    Height = a.ValueOf("Height", Variant(int32_t(-1))).AsInteger();
    Top = a.ValueOf("Top", Variant(int32_t(-1))).AsInteger();
    Left = a.ValueOf("Left", Variant(int32_t(-1))).AsInteger();
    if (a.ValueOf("HideBorder", Variant(false)).AsBoolean())
        BorderStyle = TFormBorderStyle::bsNone;
    else if (a.ValueOf("Sizable", Variant(false)).AsBoolean())
        BorderStyle = TFormBorderStyle::bsSizeable;
    else
        BorderStyle = TFormBorderStyle::bsSingle;
    // All three icons to start with; each attribute (absent counts as false) keeps or drops its own.
    BorderIcons = biSystemMenu | biMinimize | biMaximize;
    auto icon = [&](const char* name, TBorderIcon bit) {
        if (a.ValueOf(name, Variant(false)).AsBoolean())
            BorderIcons |= bit;
        else
            BorderIcons &= static_cast<TBorderIcons>(~bit);
    };
    icon("Minimize", biMinimize);
    icon("Maximize", biMaximize);
    icon("SystemMenu", biSystemMenu);
    Center = a.ValueOf("Center", Variant(false)).AsBoolean();
    Caption = a.ValueOf("Caption", Variant("")).AsString();
}

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

TUserForms::TUserForms(TMFSSession* session, std::string_view text) {
    if (!session) return;
    TXMLParser parser;
    parser.ParseText(text);
    const TXMLNode* root = parser.Root();
    if (!root) return;
    for (int32_t i = 0; i < root->Nodes.Count(); ++i) {
        const TXMLNode* element = root->Nodes[i];
        if (!AsciiSameText(element->Name, "Form")) continue;
        const std::string name = element->Attributes.ValueOf("Name", Variant("")).AsString();
        const std::string path = element->Attributes.ValueOf("Path", Variant("")).AsString();
        auto form = std::make_unique<TUserForm>(element, session->ExpandFileName(path));
        FForms.Set_Item(name, form.release());
    }
}

TUserForm* TUserForms::FindForm(std::string_view name) const {
    return FForms.Find(name);
}
