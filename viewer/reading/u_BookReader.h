// The start-up's reading of the book: every file of the system archive that the main window reads
// when it is created (System.xml, the user-forms file, the reading order, the variables, the
// logo, the splash pictures, the toolbar description and its pictures), read step by step in the
// order of the start-up and turned into what the windows are built from. Nothing here makes a
// window, so the book packer's check runs exactly the same reading.
//
// Two ways to read:
// - for the start-up (no problem list): the first failure leaves as its own exception, as the
//   start-up must end with that message;
// - for the check (a problem list given): every failure becomes a problem with the reader's own
//   message and the file it was met in, and the reading goes on with the key's default, so that
//   one run reports everything the start-up would otherwise stop at one by one.
#pragma once

#include "u_Settings.h"
#include "u_SysUtils.h"

#include "u_Pictures.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TMFS;
class TMFSFile;
class TMFSSession;
class TStory;
class TVariables;
class TXMLNode;
class TXMLParser;

// The image list's refusal of a picture smaller than its image size.
TV_DECLARE_EXCEPTION(EInvalidOperation, Exception);

inline constexpr const char* SInvalidToolbarImageSize = "Invalid toolbar image size";
inline constexpr const char* SUnknownPictureExtension = "Unknown picture file extension (.%s)";
// The fixed files of the system archive.
inline constexpr const char* LogoFile = "\\Logo.bmp";
inline constexpr const char* StartSplashFile = "SplashS.bmp";
inline constexpr const char* EndSplashFile = "SplashE.bmp";

struct TBookProblem {
    std::string File;    // the file as System.xml names it, a picture's path, or "system/" / "pages/"
    std::string Message; // the reader's message, exactly
    std::string Where;   // the key or element involved, where the message does not say it; or empty
};

// The window settings of System.xml's root, as the start-up applies them.
struct TWindowSettings {
    std::string ApplicationTitle; // unsubstituted; empty leaves the title unchanged
    std::string MainFormCaption;  // unsubstituted; empty leaves the caption unchanged
    int32_t Width = 800;          // a negative value in the file keeps this default
    int32_t Height = 600;
    bool RunMaximized = false;
    bool ResizableWindow = false;
};

// One user-form definition of the user-forms file (the window applies it when the form opens).
enum class TFormBorderStyle : uint8_t { bsNone, bsSingle, bsSizeable };
// Set of the window's border icons.
enum TBorderIcon : uint8_t { biSystemMenu = 1, biMinimize = 2, biMaximize = 4 };
using TBorderIcons = uint8_t;
struct TUserFormDefinition {
    std::string Name;
    std::string Path; // absolute archive path of the page (the forms file's folder when absent)
    bool HideScrollBar = false;
    int32_t Width = -1; // -1 (any negative value) keeps the designed size or position
    int32_t Height = -1;
    int32_t Top = -1;
    int32_t Left = -1;
    TFormBorderStyle BorderStyle = TFormBorderStyle::bsSingle;
    TBorderIcons BorderIcons = 0;
    std::string Caption;
    bool Center = false;
};

// The user-forms file named by Forms: none when the key is empty or names no existing file.
struct TUserFormsFile {
    bool Present = false;
    std::string Folder; // the file's folder, with a trailing "\": relative form paths start here
    std::string Text;   // the file's content
    std::vector<TUserFormDefinition> Forms; // in file order; a later equal name replaces an earlier one
};

struct TBookMarkDefinition {
    std::string Caption;
    std::string URL;
    bool NewWindow = false;
};

struct TToolButtonDefinition {
    TToolButtonKind Kind = tbkSeparator;
    std::string Caption;
    int32_t ImageIndex = -1;                    // after the Image attribute's replacement
    std::vector<TBookMarkDefinition> Bookmarks; // of a tbkFavourites button
};

// The toolbar description named by ToolButtons: its pictures as the image list holds them (cut to
// the image size, mask colour already transparent) and its buttons in file order.
struct TToolbarDescription {
    bool Present = false; // false: the key is empty or names nothing; the tool bar is hidden
    std::vector<TPixbuf> Images;
    std::vector<std::pair<std::string, int32_t>> ImageNames; // picture Name to its first image
    std::vector<TToolButtonDefinition> Buttons;
};

class TBookReader {
  public:
    // problems: none for the start-up's reading; the list to fill for the check's.
    explicit TBookReader(TMFS& systemArchive, std::vector<TBookProblem>* problems = nullptr);
    TBookReader(const TBookReader&) = delete;
    TBookReader& operator=(const TBookReader&) = delete;

    // The steps in the order of the start-up. In the check's reading each returns what could be
    // read (nullptr for System.xml, the story or a picture that failed); the start-up's reading
    // raises instead.
    std::unique_ptr<TXMLParser> ReadSystemXml();
    TUserFormsFile ReadUserForms(const TXMLNode* root);
    std::unique_ptr<TStory> ReadStory(const TXMLNode* root);
    std::unique_ptr<TVariables> ReadVariables(const TXMLNode* root);
    TWindowSettings ReadWindowSettings(const TXMLNode* root);
    std::unique_ptr<TToolbarOptions> ReadToolbarOptions(const TXMLNode* root);
    // "\Logo.bmp" when the options display a logo and the archive holds it; nullptr otherwise.
    TPixbuf ReadLogo(const TToolbarOptions& options);
    std::unique_ptr<TSplashOptions> ReadSplashOptions(const TXMLNode* root);
    TToolbarDescription ReadToolbar(const TXMLNode* root, const TToolbarOptions& options);

    // The value of a text key of System.xml's root ("" when absent).
    std::string TextKey(const TXMLNode* root, const char* key);
    // Whether name is an existing FILE of the system archive (a folder of that name is none).
    bool IsFile(const std::string& name) const;
    // Runs step; in the check's reading a failure becomes a problem of file and the result is
    // false. The start-up's reading lets the failure leave.
    bool Step(const std::string& file, const std::string& where, const std::function<void()>& step);
    bool Checking() const { return FProblems != nullptr; }

    TMFSSession& Session() const { return *FSession; }

  private:
    void ReadForm(const std::string& file, const TXMLNode* form, TUserFormDefinition& definition);
    void ReadToolbarImages(const std::string& file, const TXMLNode* images, const TToolbarOptions& options,
                           TToolbarDescription& toolbar);
    void ReadToolbarButtons(const std::string& file, const TXMLNode* buttons, TToolbarDescription& toolbar);
    int32_t Integer(const std::string& file, const TXMLNode* node, const char* key, int32_t fallback);
    bool Boolean(const std::string& file, const TXMLNode* node, const char* key, bool fallback);
    std::string Text(const std::string& file, const TXMLNode* node, const char* key,
                     const std::string& fallback);

    TMFS& FArchive;
    TMFSSession* FSession;
    std::vector<TBookProblem>* FProblems;
};

// The picture in an archive file, read through a stream over it by the reader for its name's
// extension (the splash window and the logo read their pictures this way).
TPixbuf ReadPictureFile(TMFSFile& file);
// The splash picture of the start (SplashS.bmp) or the end (SplashE.bmp) at the root of the system
// archive; nullptr when the archive lacks it.
TMFSFile* SplashPictureFile(TMFS& systemArchive, bool starting);
// The archive path the viewer asks the page archive for when it shows a story page: "/" taken as
// "\", without a fragment or query.
std::string StoryPagePath(const std::string& page);
