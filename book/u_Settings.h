// What System.xml says about the splash screens and the look of the toolbar: the enumerations
// named in the description files and the two option records the main window keeps.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class TXMLNode;

enum TSplashType : uint8_t { vsNone = 0, vsPopUp = 1, vsSplash = 2 };
enum TToolbarPlacement : uint8_t { tpTop = 0, tpBottom = 1, tpNoToolbar = 2 };
enum TToolButtonKind : uint8_t {
    tbkSeparator = 0,
    tbkBack = 1,
    tbkForward = 2,
    tbkFirst = 3,
    tbkPrior = 4,
    tbkNext = 5,
    tbkLast = 6,
    tbkPriorChapter = 7,
    tbkNextChapter = 8,
    tbkAbout = 9,
    tbkExit = 10,
    tbkFontSize = 11,
    tbkSearch = 12,
    tbkFavourites = 13,
    tbkPrint = 14,
    tbkCopy = 15,
    tbkRefresh = 16,
    tbkHome = 17,
};

// Names as written in the description files and shown in messages.
const char* SplashTypeName(TSplashType value);
const char* ToolbarPlacementName(TToolbarPlacement value);
const char* ToolButtonKindName(TToolButtonKind value);
// Looks a name up ignoring ASCII letter case; a text that names no value gives the first value.
TSplashType SplashTypeFromName(std::string_view name);
TToolbarPlacement ToolbarPlacementFromName(std::string_view name);
TToolButtonKind ToolButtonKindFromName(std::string_view name);

// Opening (S) and closing (E) splash.
class TSplashOptions {
  public:
    // Without an element nothing changes. Otherwise every key is read; an absent key takes its
    // default, which replaces the creation value. Conversion failures leave as EVariantError.
    void ReadFromNode(const TXMLNode* node);

    std::string PopUpTextS = "Starting pop-up text...";
    std::string PopUpTextE = "Ending pop-up text...";
    TSplashType SplashTypeS = vsNone;
    TSplashType SplashTypeE = vsNone;
    int32_t Interval = 3; // seconds a splash picture stays on screen
    bool CloseOnClick = false;
};

// The toolbar's look. Colours are 0x00BBGGRR.
class TToolbarOptions {
  public:
    // As TSplashOptions::ReadFromNode.
    void ReadFromNode(const TXMLNode* node);

    TToolbarPlacement ToolbarPlacement = tpTop;
    bool LogoDisplay = false;
    int32_t ToolbarTextColor = 0;
    int32_t ToolbarBackColor = 0;
    int32_t ToolbarBtnW = 32;
    int32_t ToolbarBtnH = 32;
    int32_t ToolbarImgW = 24;
    int32_t ToolbarImgH = 24;
    // Off when there is no toolbar element, on when the element leaves it out.
    bool ToolbarShowCaption = false;
    bool ToolbarFlat = false;
    std::string LogoLink; // may hold variable references; expanded where used
    std::string LogoText;
};

// Red, green and blue of a colour value.
inline uint8_t GetRValue(int32_t color) {
    return static_cast<uint8_t>(color & 0xFF);
}
inline uint8_t GetGValue(int32_t color) {
    return static_cast<uint8_t>((color >> 8) & 0xFF);
}
inline uint8_t GetBValue(int32_t color) {
    return static_cast<uint8_t>((color >> 16) & 0xFF);
}
