#include "u_Settings.h"
#include "u_Text.h"

#include "u_XMLParser.h"

#include <iterator>

namespace {

constexpr const char* SplashTypeNames[] = {"vsNone", "vsPopUp", "vsSplash"};
constexpr const char* ToolbarPlacementNames[] = {"tpTop", "tpBottom", "tpNoToolbar"};
constexpr const char* ToolButtonKindNames[] = {
    "tbkSeparator", "tbkBack",         "tbkForward",     "tbkFirst", "tbkPrior",   "tbkNext",
    "tbkLast",      "tbkPriorChapter", "tbkNextChapter", "tbkAbout", "tbkExit",    "tbkFontSize",
    "tbkSearch",    "tbkFavourites",   "tbkPrint",       "tbkCopy",  "tbkRefresh", "tbkHome"};

template <size_t N> int IndexOfName(const char* const (&names)[N], std::string_view name) {
    for (size_t i = 0; i < N; ++i)
        if (AsciiSameText(names[i], name)) return static_cast<int>(i);
    return 0;
}

template <size_t N> const char* NameAt(const char* const (&names)[N], unsigned value) {
    return value < N ? names[value] : "";
}

std::string Text(const TXMLNode* node, const char* key, const char* defaultValue) {
    return node->Attributes.ValueOf(key, Variant(defaultValue)).AsString();
}
int32_t Integer(const TXMLNode* node, const char* key, int32_t defaultValue) {
    return node->Attributes.ValueOf(key, Variant(defaultValue)).AsInteger();
}
bool Boolean(const TXMLNode* node, const char* key, bool defaultValue) {
    return node->Attributes.ValueOf(key, Variant(defaultValue)).AsBoolean();
}

} // namespace

const char* SplashTypeName(TSplashType value) {
    return NameAt(SplashTypeNames, value);
}
const char* ToolbarPlacementName(TToolbarPlacement value) {
    return NameAt(ToolbarPlacementNames, value);
}
const char* ToolButtonKindName(TToolButtonKind value) {
    return NameAt(ToolButtonKindNames, value);
}
TSplashType SplashTypeFromName(std::string_view name) {
    return static_cast<TSplashType>(IndexOfName(SplashTypeNames, name));
}
TToolbarPlacement ToolbarPlacementFromName(std::string_view name) {
    return static_cast<TToolbarPlacement>(IndexOfName(ToolbarPlacementNames, name));
}
TToolButtonKind ToolButtonKindFromName(std::string_view name) {
    return static_cast<TToolButtonKind>(IndexOfName(ToolButtonKindNames, name));
}

void TSplashOptions::ReadFromNode(const TXMLNode* node) {
    if (!node) return;
    CloseOnClick = Boolean(node, "CloseOnClick", false);
    Interval = Integer(node, "Interval", 3);
    PopUpTextS = Text(node, "PopUpTextS", "");
    PopUpTextE = Text(node, "PopUpTextE", "");
    SplashTypeS = SplashTypeFromName(Text(node, "SplashTypeS", "vsNone"));
    SplashTypeE = SplashTypeFromName(Text(node, "SplashTypeE", "vsNone"));
}

void TToolbarOptions::ReadFromNode(const TXMLNode* node) {
    if (!node) return;
    ToolbarPlacement = ToolbarPlacementFromName(Text(node, "ToolbarPlacement", "tpTop"));
    LogoDisplay = Boolean(node, "LogoDisplay", false);
    ToolbarTextColor = Integer(node, "ToolbarTextColor", 0);
    ToolbarBackColor = Integer(node, "ToolbarBackColor", 0);
    ToolbarBtnW = Integer(node, "ToolbarBtnW", 32);
    ToolbarBtnH = Integer(node, "ToolbarBtnH", 32);
    ToolbarImgW = Integer(node, "ToolbarImgW", 24);
    ToolbarImgH = Integer(node, "ToolbarImgH", 24);
    ToolbarShowCaption = Boolean(node, "ToolbarShowCaption", true);
    ToolbarFlat = Boolean(node, "ToolbarFlat", false);
    LogoLink = Text(node, "LogoLink", "");
    LogoText = Text(node, "LogoText", "");
}
