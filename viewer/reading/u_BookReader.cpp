#include "u_BookReader.h"

#include "u_Dictionary.h"
#include "u_MFS.h"
#include "u_Pictures.h"
#include "u_Story.h"
#include "u_Text.h"
#include "u_Variables.h"
#include "u_XMLParser.h"

#include <algorithm>

namespace {

const char* const SystemXml = "System.xml";
const char* const StoryXml = "Story.xml";

// Sets the session's current folder back to the root however a step ends.
class TRootFolderOnExit {
  public:
    explicit TRootFolderOnExit(TMFSSession& session) : FSession(session) {}
    ~TRootFolderOnExit() { FSession.ChangeFolder("\\"); }
    TRootFolderOnExit(const TRootFolderOnExit&) = delete;
    TRootFolderOnExit& operator=(const TRootFolderOnExit&) = delete;

  private:
    TMFSSession& FSession;
};

std::string Where(const char* key, const TXMLNode* node) {
    return std::string(key) + " of " + node->Name;
}

// The text after the last "." when that "." comes after the last "\"; empty otherwise.
std::string PictureExtension(const std::string& path) {
    const std::string ext = TMFS::ExtractFileExt(TMFS::NormalizePath(path));
    return ext.empty() ? ext : ext.substr(1);
}

std::string ReadAll(TMFSFileStream& stream) {
    std::string bytes(static_cast<size_t>(stream.GetSize()), '\0');
    stream.ReadBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    return bytes;
}

// An archive path as a problem names it: from the system folder, without the leading "\".
std::string ProblemPath(const std::string& absolute) {
    return StartsWithBackslash(absolute) ? absolute.substr(1) : absolute;
}

} // namespace

TBookReader::TBookReader(TMFS& systemArchive, std::vector<TBookProblem>* problems)
    : FArchive(systemArchive), FSession(systemArchive.Session()), FProblems(problems) {}

bool TBookReader::Step(const std::string& file, const std::string& where, const std::function<void()>& step) {
    if (!FProblems) {
        step();
        return true;
    }
    try {
        step();
        return true;
    } catch (const std::exception& e) {
        FProblems->push_back({file, e.what(), where});
        return false;
    }
}

int32_t TBookReader::Integer(const std::string& file, const TXMLNode* node, const char* key,
                             int32_t fallback) {
    int32_t value = fallback;
    Step(file, Where(key, node),
         [&] { value = node->Attributes.ValueOf(key, Variant(fallback)).AsInteger(); });
    return value;
}

bool TBookReader::Boolean(const std::string& file, const TXMLNode* node, const char* key, bool fallback) {
    bool value = fallback;
    Step(file, Where(key, node),
         [&] { value = node->Attributes.ValueOf(key, Variant(fallback)).AsBoolean(); });
    return value;
}

std::string TBookReader::Text(const std::string& file, const TXMLNode* node, const char* key,
                              const std::string& fallback) {
    std::string value = fallback;
    Step(file, Where(key, node),
         [&] { value = node->Attributes.ValueOf(key, Variant(fallback)).AsString(); });
    return value;
}

std::string TBookReader::TextKey(const TXMLNode* root, const char* key) {
    std::string value;
    if (root) Step(SystemXml, key, [&] { value = root->Attributes.ValueOf(key, Variant("")).AsString(); });
    return value;
}

bool TBookReader::IsFile(const std::string& name) const {
    if (name.empty()) return false;
    try {
        return dynamic_cast<TMFSFile*>(FSession->GetItem(TMFS::NormalizePath(name))) != nullptr;
    } catch (const std::exception&) {
        return false;
    }
}

std::unique_ptr<TXMLParser> TBookReader::ReadSystemXml() {
    FSession->ChangeFolder("\\");
    auto parser = std::make_unique<TXMLParser>();
    const bool read = Step(SystemXml, "", [&] {
        parser->ParseText(FSession->GetFile(SystemXml)->Data);
        if (!parser->Root()) throw EParserError("\"System.xml\" has no root element");
    });
    return read ? std::move(parser) : nullptr;
}

TUserFormsFile TBookReader::ReadUserForms(const TXMLNode* root) {
    TUserFormsFile forms;
    const std::string file = TextKey(root, "Forms");
    if (!IsFile(file)) return forms;
    forms.Present = true;
    TRootFolderOnExit restore(*FSession);
    TXMLParser parser;
    if (!Step(file, "", [&] {
            forms.Text = FSession->GetFile(file)->Data;
            FSession->ChangeFolder(TMFS::ExtractFilePath(TMFS::NormalizePath(file)));
            forms.Folder = FSession->ExpandFileName("");
            parser.ParseText(forms.Text);
        }))
        return forms;
    const TXMLNodes& children = parser.Root()->Nodes;
    for (int32_t i = 0; i < children.Count(); ++i) {
        const TXMLNode* form = children[i];
        if (!AnsiSameText(form->Name, "Form")) continue;
        TUserFormDefinition definition;
        definition.Name = Text(file, form, "Name", "");
        const std::string path = Text(file, form, "Path", "");
        Step(file, Where("Path", form), [&] { definition.Path = FSession->ExpandFileName(path); });
        ReadForm(file, form, definition);
        forms.Forms.push_back(std::move(definition));
    }
    return forms;
}

void TBookReader::ReadForm(const std::string& file, const TXMLNode* form, TUserFormDefinition& definition) {
    definition.HideScrollBar = Boolean(file, form, "HideScrollBar", false);
    definition.Width = Integer(file, form, "Width", -1);
    definition.Height = Integer(file, form, "Height", -1);
    definition.Top = Integer(file, form, "Top", -1);
    definition.Left = Integer(file, form, "Left", -1);
    if (Boolean(file, form, "HideBorder", false))
        definition.BorderStyle = TFormBorderStyle::bsNone;
    else if (Boolean(file, form, "Sizable", false))
        definition.BorderStyle = TFormBorderStyle::bsSizeable;
    else
        definition.BorderStyle = TFormBorderStyle::bsSingle;
    // All three icons to start with; each attribute then keeps or removes its own (absent: removed).
    uint8_t icons = biSystemMenu | biMinimize | biMaximize;
    for (auto [key, icon] :
         {std::pair{"Minimize", biMinimize}, {"Maximize", biMaximize}, {"SystemMenu", biSystemMenu}})
        icons = Boolean(file, form, key, false) ? icons | icon : icons & ~icon;
    definition.BorderIcons = icons;
    definition.Center = Boolean(file, form, "Center", false);
    definition.Caption = Text(file, form, "Caption", "");
}

std::unique_ptr<TStory> TBookReader::ReadStory(const TXMLNode* root) {
    const std::string key = TextKey(root, "Story");
    std::unique_ptr<TStory> story;
    Step(StoryXml, "", [&] { story = std::make_unique<TStory>(FArchive, key); });
    return story;
}

std::unique_ptr<TVariables> TBookReader::ReadVariables(const TXMLNode* root) {
    // Only an existing file counts: a folder of that name, like no name at all, means no variables.
    const std::string file = TextKey(root, "Variables");
    std::unique_ptr<TVariables> variables;
    if (IsFile(file))
        Step(file, "",
             [&] { variables = std::make_unique<TVariables>(FSession->GetFile(file)->Data, true); });
    if (!variables) variables = std::make_unique<TVariables>("", true);
    return variables;
}

TWindowSettings TBookReader::ReadWindowSettings(const TXMLNode* root) {
    TWindowSettings settings;
    if (!root) return settings;
    settings.ApplicationTitle = TextKey(root, "ApplicationTitle");
    settings.MainFormCaption = TextKey(root, "MainFormCaption");
    // A negative size has no window to make: the default stays.
    if (const int32_t width = Integer(SystemXml, root, "Width", 800); width >= 0) settings.Width = width;
    if (const int32_t height = Integer(SystemXml, root, "Height", 600); height >= 0) settings.Height = height;
    settings.RunMaximized = Boolean(SystemXml, root, "RunMaximized", false);
    settings.ResizableWindow = Boolean(SystemXml, root, "ResizableWindow", false);
    return settings;
}

std::unique_ptr<TToolbarOptions> TBookReader::ReadToolbarOptions(const TXMLNode* root) {
    auto options = std::make_unique<TToolbarOptions>();
    if (root) Step(SystemXml, "toolbar", [&] { options->ReadFromNode(root->Nodes.FindByName("toolbar")); });
    return options;
}

TPixbuf TBookReader::ReadLogo(const TToolbarOptions& options) {
    TPixbuf logo;
    if (!options.LogoDisplay || !IsFile(LogoFile)) return logo;
    Step(ProblemPath(LogoFile), "", [&] { logo = ReadPictureFile(*FSession->GetFile(LogoFile)); });
    return logo;
}

std::unique_ptr<TSplashOptions> TBookReader::ReadSplashOptions(const TXMLNode* root) {
    auto options = std::make_unique<TSplashOptions>();
    if (root) Step(SystemXml, "splash", [&] { options->ReadFromNode(root->Nodes.FindByName("splash")); });
    return options;
}

TToolbarDescription TBookReader::ReadToolbar(const TXMLNode* root, const TToolbarOptions& options) {
    TToolbarDescription toolbar;
    FSession->ChangeFolder("\\");
    const std::string file = TextKey(root, "ToolButtons");
    if (!IsFile(file)) return toolbar;
    toolbar.Present = true;
    // Picture paths are taken from the description's folder. The root is current again
    // afterwards, so that the closing splash finds its picture where the opening one was.
    TRootFolderOnExit restore(*FSession);
    TXMLParser parser;
    if (!Step(file, "", [&] {
            parser.ParseText(FSession->GetFile(file)->Data);
            FSession->ChangeFolder(TMFS::ExtractFilePath(TMFS::NormalizePath(file)));
        }))
        return toolbar;
    if (const TXMLNode* images = parser.Root()->Nodes.FindByName("Images"))
        ReadToolbarImages(file, images, options, toolbar);
    if (const TXMLNode* buttons = parser.Root()->Nodes.FindByName("Buttons"))
        ReadToolbarButtons(file, buttons, toolbar);
    return toolbar;
}

void TBookReader::ReadToolbarImages(const std::string& file, const TXMLNode* images,
                                    const TToolbarOptions& options, TToolbarDescription& toolbar) {
    const int imageWidth = std::max(options.ToolbarImgW, 1);
    const int imageHeight = std::max(options.ToolbarImgH, 1);
    for (int32_t i = 0; i < images->Nodes.Count(); ++i) {
        const TXMLNode* image = images->Nodes[i];
        const std::string name = Text(file, image, "Name", "");
        // The name stands for the first image this element adds: a strip cut into several images
        // moves every later picture along the list by more than one.
        if (!name.empty()) toolbar.ImageNames.emplace_back(name, static_cast<int32_t>(toolbar.Images.size()));
        const std::string path = Text(file, image, "Path", "");
        const int32_t xMask = Integer(file, image, "XMask", 0);
        const int32_t yMask = Integer(file, image, "YMask", 0);
        const bool hasMaskColor = image->Attributes.Find("MaskColor") != nullptr;
        const int32_t maskColor = hasMaskColor ? Integer(file, image, "MaskColor", -1) : -1;

        const std::string ext = PictureExtension(path);
        const bool known = AnsiSameText(ext, "wmf") || AnsiSameText(ext, "emf") || AnsiSameText(ext, "ico") ||
                           AnsiSameText(ext, "bmp") || AnsiSameText(ext, "jpg") || AnsiSameText(ext, "jpeg");
        if (!Step(file, path, [&] {
                if (!known) throw EInvalidGraphic(Format(SUnknownPictureExtension, ext.c_str()));
            }))
            continue;
        std::string bytes;
        std::string absolute;
        if (!Step(file, "", [&] {
                std::unique_ptr<TMFSFileStream> stream = FSession->CreateFileStream(path, OPEN_EXISTING, 0);
                absolute = FSession->ExpandFileName(path);
                bytes = ReadAll(*stream);
            }))
            continue;
        TPixbuf picture;
        if (!Step(ProblemPath(absolute), "", [&] { picture = LoadPicture(path, bytes); })) continue;

        const bool icon = AnsiSameText(ext, "ico");
        if (!icon)
            picture =
                WithTransparentColor(picture, hasMaskColor ? maskColor : PixelColor(picture, xMask, yMask));
        const int width = gdk_pixbuf_get_width(picture.get()), height = gdk_pixbuf_get_height(picture.get());
        if (!Step(file,
                  Format("%s is %d x %d, the images %d x %d", path.c_str(), width, height,
                         options.ToolbarImgW, options.ToolbarImgH),
                  [&] {
                      if (width < imageWidth || height < imageHeight)
                          throw EInvalidOperation(SInvalidToolbarImageSize);
                  }))
            continue;
        if (icon) {
            // An icon fills one image of the list, scaled to its size.
            toolbar.Images.push_back(
                width == imageWidth && height == imageHeight
                    ? picture
                    : TPixbuf::Take(gdk_pixbuf_scale_simple(picture.get(), imageWidth, imageHeight,
                                                           GDK_INTERP_BILINEAR)));
            continue;
        }
        // A bitmap wider than an image gives as many images as fit side by side.
        for (int x = 0; x + imageWidth <= width; x += imageWidth)
        {
            TPixbuf part = TPixbuf::Take(gdk_pixbuf_new_subpixbuf(picture.get(), x, 0, imageWidth, imageHeight));
            toolbar.Images.push_back(TPixbuf::Take(gdk_pixbuf_copy(part.get())));
        }
    }
}

void TBookReader::ReadToolbarButtons(const std::string& file, const TXMLNode* buttons,
                                     TToolbarDescription& toolbar) {
    TDictionary imageIndexes(true, true);
    for (const auto& [name, index] : toolbar.ImageNames)
        imageIndexes.Set_Item(name, reinterpret_cast<void*>(static_cast<intptr_t>(index)));
    for (int32_t i = 0; i < buttons->Nodes.Count(); ++i) {
        const TXMLNode* element = buttons->Nodes[i];
        TToolButtonDefinition button;
        button.Kind = static_cast<TToolButtonKind>(Integer(file, element, "Kind", 0));
        if (button.Kind != tbkSeparator) {
            button.Caption = Text(file, element, "Caption", "");
            button.ImageIndex = Integer(file, element, "ImageIndex", -1);
            if (element->Attributes.Find("Image")) {
                const std::string image = Text(file, element, "Image", "");
                button.ImageIndex =
                    imageIndexes.Exists(image)
                        ? static_cast<int32_t>(reinterpret_cast<intptr_t>(imageIndexes.Find(image, nullptr)))
                        : -1;
            }
        }
        if (button.Kind == tbkFavourites) {
            // A bookmark that cannot be read ends the list there; the viewer says nothing, the
            // check names it.
            for (int32_t j = 0; j < element->Nodes.Count(); ++j) {
                const TXMLNode* item = element->Nodes[j];
                TBookMarkDefinition bookmark;
                try {
                    const TXMLAttributes& attributes = item->Attributes;
                    bookmark.Caption = attributes.ValueOf("caption", Variant("Description")).AsString();
                    bookmark.URL = attributes.ValueOf("url", Variant("URL")).AsString();
                    bookmark.NewWindow = attributes.ValueOf("NewWindow", Variant(false)).AsBoolean();
                } catch (const std::exception& e) {
                    if (FProblems)
                        FProblems->push_back(
                            {file, e.what(), "bookmark " + item->Name + " of " + element->Name});
                    break;
                }
                button.Bookmarks.push_back(std::move(bookmark));
            }
        }
        toolbar.Buttons.push_back(std::move(button));
    }
}

TPixbuf ReadPictureFile(TMFSFile& file) {
    std::unique_ptr<TMFSFileStream> stream = file.CreateStream();
    return LoadPicture(file.Name, ReadAll(*stream));
}

TMFSFile* SplashPictureFile(TMFS& systemArchive, bool starting) {
    try {
        return dynamic_cast<TMFSFile*>(systemArchive.Session()->GetItem(
            std::string("\\") + (starting ? StartSplashFile : EndSplashFile)));
    } catch (const std::exception&) {
        return nullptr;
    }
}

std::string StoryPagePath(const std::string& page) {
    std::string path = TMFS::NormalizePath(page);
    path = path.substr(0, path.find_first_of("#?"));
    return path;
}
