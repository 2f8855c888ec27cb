#include "u_EpubReader.h"

#include "u_FolderArchive.h"
#include "u_XmlDocument.h"

#include <zip.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <strings.h>

namespace {

const char* const ContainerPath = "META-INF/container.xml";
// How deep a table of contents may nest; deeper entries are dropped (a real one nests a few levels).
constexpr int MaxContentsDepth = 100;
// The most one file of the zip may unpack to: what one cabinet of the packed book can carry.
constexpr zip_uint64_t MaxEntrySize = 0x7FFF8000;

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExtensionOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// A link of a document at documentPath, as a path below the package folder and a fragment; false
// for links that lead outside the publication.
bool ResolveLink(const std::string& documentPath, const std::string& href, std::string& path,
                 std::string& fragment) {
    if (href.empty() || HasUrlScheme(href)) return false;
    const size_t hash = href.find('#');
    fragment = hash == std::string::npos ? "" : href.substr(hash + 1);
    std::string target = href.substr(0, hash);
    const size_t query = target.find('?');
    if (query != std::string::npos) target.erase(query);
    if (target.empty()) {
        path = documentPath; // a fragment of the document itself
        return !path.empty();
    }
    target = PercentDecode(target);
    if (target[0] == '/') return false;
    return NormalizeRelativePath(FolderOf(documentPath) + target, path);
}

std::string Joined(const std::string& path, const std::string& fragment) {
    return fragment.empty() ? path : path + "#" + fragment;
}

// The entries of a navigation list (ol) and its nested lists.
std::vector<TImportEntry> NavList(const xmlNode* list, const std::string& documentPath, int depth = 0) {
    std::vector<TImportEntry> entries;
    if (depth > MaxContentsDepth) return entries;
    for (const xmlNode* li = list ? list->children : nullptr; li; li = li->next) {
        if (!IsElement(li, "li")) continue;
        TImportEntry entry;
        const xmlNode* nested = nullptr;
        for (const xmlNode* child = li->children; child; child = child->next) {
            if (IsElement(child, "a") || IsElement(child, "span")) {
                if (entry.Name.empty()) {
                    entry.Name = CollapseBlanks(TextOf(child));
                    std::string path, fragment;
                    if (IsElement(child, "a") && ResolveLink(documentPath, AttributeOf(child, "href"), path, fragment))
                        entry.Page = Joined(path, fragment);
                }
            } else if ((IsElement(child, "ol") || IsElement(child, "ul")) && !nested) {
                nested = child;
            }
        }
        entry.Children = NavList(nested, documentPath, depth + 1);
        if (!entry.Page.empty() || !entry.Children.empty()) entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<TImportEntry> NcxPoints(const xmlNode* parent, const std::string& documentPath, int depth = 0) {
    std::vector<TImportEntry> entries;
    if (depth > MaxContentsDepth) return entries;
    for (const xmlNode* point = parent ? parent->children : nullptr; point; point = point->next) {
        if (!IsElement(point, "navPoint")) continue;
        TImportEntry entry;
        if (const xmlNode* label = ChildElement(point, "navLabel"))
            entry.Name = CollapseBlanks(TextOf(ChildElement(label, "text")));
        std::string path, fragment;
        if (const xmlNode* content = ChildElement(point, "content"))
            if (ResolveLink(documentPath, AttributeOf(content, "src"), path, fragment))
                entry.Page = Joined(path, fragment);
        entry.Children = NcxPoints(point, documentPath, depth + 1);
        if (!entry.Page.empty() || !entry.Children.empty()) entries.push_back(std::move(entry));
    }
    return entries;
}

std::string FileOf(const std::string& page) {
    return page.substr(0, page.find('#'));
}

// The first page at or below the entry.
std::string FirstPageOf(const TImportEntry& entry) {
    if (!entry.Page.empty()) return entry.Page;
    for (const TImportEntry& child : entry.Children) {
        std::string page = FirstPageOf(child);
        if (!page.empty()) return page;
    }
    return "";
}

void Flatten(const std::vector<TImportEntry>& entries, std::vector<const TImportEntry*>& flat) {
    for (const TImportEntry& entry : entries) {
        flat.push_back(&entry);
        Flatten(entry.Children, flat);
    }
}

// The spine position a table-of-contents target points into: the same address, else the first
// position of its file without a fragment, else the first position of its file; -1 for none.
int SpinePositionOf(const std::vector<std::string>& spine, const std::string& page) {
    if (page.empty()) return -1;
    for (size_t i = 0; i < spine.size(); ++i)
        if (spine[i] == page) return static_cast<int>(i);
    const std::string file = FileOf(page);
    int any = -1;
    for (size_t i = 0; i < spine.size(); ++i) {
        if (FileOf(spine[i]) != file) continue;
        if (spine[i].find('#') == std::string::npos) return static_cast<int>(i);
        if (any < 0) any = static_cast<int>(i);
    }
    return any;
}

// The zip, open for reading, closed with the object.
class TZip {
  public:
    explicit TZip(const std::string& path) : FPath(path) {
        int error = 0;
        FZip = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
        if (!FZip) {
            zip_error_t detail;
            zip_error_init_with_code(&detail, error);
            const std::string text = zip_error_strerror(&detail);
            zip_error_fini(&detail);
            if (error == ZIP_ER_NOENT || error == ZIP_ER_OPEN || error == ZIP_ER_READ)
                throw EImportError(Format("Cannot read \"%s\": %s", path.c_str(), text.c_str()));
            throw EImportError(Format("\"%s\" is not an EPUB: not a readable zip archive (%s)", path.c_str(),
                                      text.c_str()));
        }
    }
    TZip(const TZip&) = delete;
    TZip& operator=(const TZip&) = delete;
    ~TZip() { zip_discard(FZip); }

    zip_int64_t Count() const { return zip_get_num_entries(FZip, 0); }
    std::string Name(zip_uint64_t index) const {
        const char* name = zip_get_name(FZip, index, ZIP_FL_ENC_GUESS);
        return name ? name : "";
    }
    zip_int64_t Find(const std::string& name) const { return zip_name_locate(FZip, name.c_str(), 0); }

    std::string Read(zip_uint64_t index) const {
        const std::string name = Name(index);
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(FZip, index, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
            throw EImportError(Format("\"%s\": cannot read \"%s\" in the zip", FPath.c_str(), name.c_str()));
        FTotal += st.size;
        if (st.size > MaxEntrySize || FTotal > MaxEntrySize)
            throw EImportError(Format("\"%s\": the book's files are too large for one cabinet (at \"%s\")",
                                      FPath.c_str(), name.c_str()));
        zip_file_t* file = zip_fopen_index(FZip, index, 0);
        if (!file)
            throw EImportError(Format("\"%s\": cannot read \"%s\" in the zip: %s", FPath.c_str(), name.c_str(),
                                      zip_strerror(FZip)));
        std::string data(static_cast<size_t>(st.size), '\0');
        zip_uint64_t done = 0;
        std::string failure;
        while (done < st.size) {
            const zip_int64_t got = zip_fread(file, data.data() + done, st.size - done);
            if (got < 0) {
                failure = zip_error_strerror(zip_file_get_error(file));
                break;
            }
            if (got == 0) {
                failure = "the data ends early";
                break;
            }
            done += static_cast<zip_uint64_t>(got);
        }
        // A read to the end checks the CRC: one more byte must give nothing.
        char extra = 0;
        if (failure.empty()) {
            const zip_int64_t got = zip_fread(file, &extra, 1);
            if (got < 0) failure = zip_error_strerror(zip_file_get_error(file));
            else if (got > 0) failure = "the data is longer than recorded";
        }
        zip_fclose(file);
        if (!failure.empty())
            throw EImportError(Format("\"%s\": cannot read \"%s\" in the zip: %s", FPath.c_str(), name.c_str(),
                                      failure.c_str()));
        return data;
    }

  private:
    std::string FPath;
    zip_t* FZip = nullptr;
    mutable zip_uint64_t FTotal = 0; // bytes unpacked so far: a zip bomb stops at the cabinet's limit
};

// The package document's path, from the container.
std::string RootFilePath(const std::string& epub, const std::string& container) {
    std::string error;
    const TXmlDocument doc = ParseXml(container, &error);
    if (!doc)
        throw EImportError(
            Format("\"%s\": %s does not parse: %s", epub.c_str(), ContainerPath, error.c_str()));
    xmlNode* rootfiles = ChildElement(xmlDocGetRootElement(doc.get()), "rootfiles");
    std::string first;
    for (xmlNode* rootfile = rootfiles ? rootfiles->children : nullptr; rootfile; rootfile = rootfile->next) {
        if (!IsElement(rootfile, "rootfile")) continue;
        const std::string path = AttributeOf(rootfile, "full-path");
        if (path.empty()) continue;
        if (AttributeOf(rootfile, "media-type") == "application/oebps-package+xml") return path;
        if (first.empty()) first = path;
    }
    if (first.empty())
        throw EImportError(Format("\"%s\": %s names no package document", epub.c_str(), ContainerPath));
    return first;
}

// The text of an HTML page's title element, collapsed; empty without one.
std::string TitleOfPage(const std::string& html) {
    const std::string head = html.substr(0, 16384);
    size_t open = 0;
    for (;;) {
        open = head.find('<', open);
        if (open == std::string::npos) return "";
        if (strncasecmp(head.c_str() + open + 1, "title", 5) == 0 &&
            (head.size() > open + 6 && (head[open + 6] == '>' || head[open + 6] == ' ')))
            break;
        ++open;
    }
    const size_t start = head.find('>', open);
    if (start == std::string::npos) return "";
    size_t end = start;
    while ((end = head.find('<', end + 1)) != std::string::npos)
        if (strncasecmp(head.c_str() + end, "</title", 7) == 0) break;
    if (end == std::string::npos) return "";
    return CollapseBlanks(head.substr(start + 1, end - start - 1));
}

} // namespace

const TEpubItem* TEpubPackage::Find(const std::string& id) const {
    for (const TEpubItem& item : Manifest)
        if (item.Id == id) return &item;
    return nullptr;
}

const TEpubItem* TEpubPackage::NavDocument() const {
    for (const TEpubItem& item : Manifest)
        if (HasToken(item.Properties, "nav")) return &item;
    return nullptr;
}

const TEpubItem* TEpubPackage::CoverImage() const {
    for (const TEpubItem& item : Manifest)
        if (HasToken(item.Properties, "cover-image")) return &item;
    return CoverId.empty() ? nullptr : Find(CoverId);
}

TEpubPackage ParsePackageDocument(const std::string& text, const std::string& name) {
    std::string error;
    const TXmlDocument doc = ParseXml(text, &error);
    if (!doc) throw EImportError(Format("The package document \"%s\" does not parse: %s", name.c_str(), error.c_str()));
    const xmlNode* root = xmlDocGetRootElement(doc.get());
    if (!IsElement(root, "package"))
        throw EImportError(Format("\"%s\" is not a package document (its root is not <package>)", name.c_str()));
    TEpubPackage package;
    package.Version = AttributeOf(root, "version");
    if (const xmlNode* metadata = ChildElement(root, "metadata")) {
        for (const xmlNode* child = metadata->children; child; child = child->next) {
            if (IsElement(child, "title") && package.Title.empty()) package.Title = CollapseBlanks(TextOf(child));
            if (IsElement(child, "meta") && AttributeOf(child, "name") == "cover")
                package.CoverId = AttributeOf(child, "content");
        }
    }
    const xmlNode* manifest = ChildElement(root, "manifest");
    if (!manifest) throw EImportError(Format("The package document \"%s\" has no manifest", name.c_str()));
    for (const xmlNode* child = manifest->children; child; child = child->next) {
        if (!IsElement(child, "item")) continue;
        TEpubItem item;
        item.Id = AttributeOf(child, "id");
        item.MediaType = AttributeOf(child, "media-type");
        item.Properties = AttributeOf(child, "properties");
        const std::string href = AttributeOf(child, "href");
        if (HasUrlScheme(href)) {
            package.LeftOut.push_back({href, "a remote resource: a book carries its own files only"});
            continue;
        }
        const size_t hash = href.find('#');
        const std::string target = PercentDecode(href.substr(0, hash));
        if (hash != std::string::npos) item.Fragment = href.substr(hash + 1);
        if (!NormalizeRelativePath(target, item.Path))
            throw EImportError(Format("The package document \"%s\": the manifest item \"%s\" has the path \"%s\", "
                                      "which is absolute or leaves the package document's folder",
                                      name.c_str(), item.Id.c_str(), href.c_str()));
        package.Manifest.push_back(std::move(item));
    }
    const xmlNode* spine = ChildElement(root, "spine");
    if (!spine) throw EImportError(Format("The package document \"%s\" has no spine", name.c_str()));
    package.NcxId = AttributeOf(spine, "toc");
    for (const xmlNode* child = spine->children; child; child = child->next) {
        if (!IsElement(child, "itemref")) continue;
        package.Spine.push_back({AttributeOf(child, "idref"), AttributeOf(child, "linear") != "no"});
    }
    return package;
}

std::vector<TImportEntry> ParseNavDocument(const std::string& text, const std::string& documentPath) {
    TXmlDocument doc = ParseXml(text);
    if (!doc) doc = ParseHtml(text); // named entities of HTML make many navigation documents ill-formed XML
    if (!doc) return {};
    xmlNode* root = xmlDocGetRootElement(doc.get());
    // The nav element marked as the table of contents, else the first one.
    xmlNode* toc = nullptr;
    std::vector<xmlNode*> stack;
    if (root) stack.push_back(root);
    while (!stack.empty() && !toc) {
        xmlNode* node = stack.back();
        stack.pop_back();
        if (IsElement(node, "nav") && HasToken(AttributeOf(node, "type"), "toc")) toc = node;
        for (xmlNode* child = node->last; child; child = child->prev)
            if (child->type == XML_ELEMENT_NODE) stack.push_back(child);
    }
    if (!toc) toc = FindElement(root, "nav");
    if (!toc) return {};
    xmlNode* list = FindElement(toc, "ol");
    if (!list) list = FindElement(toc, "ul");
    return NavList(list, documentPath);
}

std::vector<TImportEntry> ParseNcxDocument(const std::string& text, const std::string& documentPath) {
    const TXmlDocument doc = ParseXml(text);
    if (!doc) return {};
    return NcxPoints(ChildElement(xmlDocGetRootElement(doc.get()), "navMap"), documentPath);
}

std::vector<TImportEntry> BuildReadingOrder(const std::vector<std::string>& spine,
                                            const std::vector<TImportEntry>& toc,
                                            const std::function<std::string(const std::string&)>& titleOf) {
    // Every page's entry: the page, named by the first table-of-contents entry pointing into it.
    std::vector<TImportEntry> pages(spine.size());
    std::vector<bool> named(spine.size(), false);
    for (size_t i = 0; i < spine.size(); ++i) pages[i].Page = spine[i];
    std::vector<const TImportEntry*> flat;
    Flatten(toc, flat);
    for (const TImportEntry* entry : flat) {
        const int at = SpinePositionOf(spine, entry->Page);
        if (at < 0 || named[at]) continue;
        named[at] = true;
        pages[at].Name = entry->Name;
        // An entry that points into the page at a fragment keeps it.
        if (spine[at].find('#') == std::string::npos && entry->Page.find('#') != std::string::npos)
            pages[at].Page = entry->Page;
    }
    for (size_t i = 0; i < spine.size(); ++i)
        if (pages[i].Name.empty()) pages[i].Name = titleOf(FileOf(spine[i]));

    // Chapters: every top-level entry starts one at its page, in the order of the spine.
    std::vector<std::pair<int, std::string>> starts;
    for (const TImportEntry& entry : toc) {
        const int at = SpinePositionOf(spine, FirstPageOf(entry));
        if (at < 0 || (!starts.empty() && at <= starts.back().first)) continue;
        starts.emplace_back(at, entry.Name);
    }
    std::vector<TImportEntry> order;
    const int first = starts.empty() ? static_cast<int>(spine.size()) : starts.front().first;
    for (int i = 0; i < first; ++i) order.push_back(std::move(pages[i]));
    for (size_t k = 0; k < starts.size(); ++k) {
        const int begin = starts[k].first;
        const int end = k + 1 < starts.size() ? starts[k + 1].first : static_cast<int>(spine.size());
        TImportEntry chapter = std::move(pages[begin]);
        if (!starts[k].second.empty()) chapter.Name = starts[k].second;
        for (int i = begin + 1; i < end; ++i) chapter.Children.push_back(std::move(pages[i]));
        order.push_back(std::move(chapter));
    }
    return order;
}

bool DeclaresCharset(const std::string& html) {
    if (html.compare(0, 3, "\xEF\xBB\xBF") == 0 || html.compare(0, 2, "\xFF\xFE") == 0 ||
        html.compare(0, 2, "\xFE\xFF") == 0)
        return true;
    std::string head = html.substr(0, 1024);
    for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    size_t meta = 0;
    while ((meta = head.find("<meta", meta)) != std::string::npos) {
        const size_t end = head.find('>', meta);
        if (head.substr(meta, end == std::string::npos ? std::string::npos : end - meta).find("charset") !=
            std::string::npos)
            return true;
        meta += 5;
    }
    return false;
}

std::string WithUtf8Charset(const std::string& html) {
    static const std::string Meta = "<meta charset=\"utf-8\">";
    std::string lower = html.substr(0, 65536);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    // Just inside the head, else just inside the html element, else at the very start.
    for (const char* tag : {"<head", "<html"}) {
        size_t at = 0;
        while ((at = lower.find(tag, at)) != std::string::npos) {
            const char next = at + 5 < lower.size() ? lower[at + 5] : '\0';
            if (next == '>' || next == ' ' || next == '\t' || next == '\n' || next == '\r' || next == '/') break;
            at += 5;
        }
        if (at == std::string::npos) continue;
        const size_t close = lower.find('>', at);
        if (close == std::string::npos) continue;
        return html.substr(0, close + 1) + Meta + html.substr(close + 1);
    }
    return Meta + html;
}

TImportedBook ReadEpub(const std::string& path) {
    TImportedBook book;
    book.Source = path;
    const TZip zip(path);

    // Every name in the zip is checked before anything is read: a file meant to land outside the
    // book is a damaged or hostile EPUB.
    const zip_int64_t count = zip.Count();
    std::vector<std::string> names;
    for (zip_int64_t i = 0; i < count; ++i) {
        const std::string name = zip.Name(static_cast<zip_uint64_t>(i));
        std::string normalized;
        const bool folder = !name.empty() && name.back() == '/';
        const std::string bare = folder ? name.substr(0, name.size() - 1) : name;
        if (!NormalizeRelativePath(bare, normalized))
            throw EImportError(Format("\"%s\": the zip holds \"%s\", a path that is absolute or climbs out with \"..\"",
                                      path.c_str(), name.c_str()));
        for (size_t at = 0; (at = bare.find("..", at)) != std::string::npos; at += 2) {
            const bool startsPart = at == 0 || bare[at - 1] == '/' || bare[at - 1] == '\\';
            const bool endsPart = at + 2 == bare.size() || bare[at + 2] == '/' || bare[at + 2] == '\\';
            if (startsPart && endsPart)
                throw EImportError(Format(
                    "\"%s\": the zip holds \"%s\", a path that is absolute or climbs out with \"..\"", path.c_str(),
                    name.c_str()));
        }
        names.push_back(folder ? normalized + "/" : normalized);
    }

    const zip_int64_t containerIndex = zip.Find(ContainerPath);
    if (containerIndex < 0)
        throw EImportError(Format("\"%s\" is not an EPUB: it has no %s", path.c_str(), ContainerPath));
    const std::string opfName = RootFilePath(path, zip.Read(static_cast<zip_uint64_t>(containerIndex)));
    const zip_int64_t opfIndex = zip.Find(opfName);
    std::string opfPath;
    if (opfIndex >= 0) opfPath = names[static_cast<size_t>(opfIndex)];
    if (opfIndex < 0)
        throw EImportError(Format("\"%s\": the package document \"%s\" named by %s is missing", path.c_str(),
                                  opfName.c_str(), ContainerPath));
    const TEpubPackage package =
        ParsePackageDocument(zip.Read(static_cast<zip_uint64_t>(opfIndex)), opfPath);
    book.SourceKind = package.Version.rfind("3", 0) == 0 ? "EPUB 3" : "EPUB 2";
    book.Title = package.Title;
    book.LeftOut = package.LeftOut;
    const std::string root = FolderOf(opfPath);

    // The spine's pages must all be there.
    std::set<std::string> spineFiles;
    std::vector<std::string> spine;
    for (const TEpubSpineItem& itemref : package.Spine) {
        const TEpubItem* item = package.Find(itemref.IdRef);
        if (!item)
            throw EImportError(Format("\"%s\": the spine of \"%s\" names \"%s\", which the manifest lacks",
                                      path.c_str(), opfPath.c_str(), itemref.IdRef.c_str()));
        if (zip.Find(root + item->Path) < 0)
            throw EImportError(Format("\"%s\": the spine item \"%s\" (%s) is missing from the zip", path.c_str(),
                                      itemref.IdRef.c_str(), (root + item->Path).c_str()));
        spineFiles.insert(item->Path);
        if (itemref.Linear)
            spine.push_back(Joined(item->Path, item->Fragment));
        else
            book.LeftOut.push_back({item->Path, "marked linear=\"no\": in pages/, not in the reading order"});
    }
    if (spine.empty())
        throw EImportError(Format("\"%s\": the spine of \"%s\" lists no page to read", path.c_str(), opfPath.c_str()));
    for (const TEpubItem& item : package.Manifest)
        if (zip.Find(root + item.Path) < 0)
            book.LeftOut.push_back({root + item.Path, "listed in the manifest but missing from the zip"});

    // pages/: every file below the package document's folder but the package document.
    std::map<std::string, const TEpubItem*> byPath;
    for (const TEpubItem& item : package.Manifest) byPath.emplace(item.Path, &item);
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        if (name.empty() || name.back() == '/') continue;
        if (name == opfPath) {
            book.LeftOut.push_back({name, "the package document"});
            continue;
        }
        if (name == "mimetype" || name.rfind("META-INF/", 0) == 0) {
            book.LeftOut.push_back({name, "a file of the EPUB container"});
            continue;
        }
        if (name.compare(0, root.size(), root) != 0) {
            book.LeftOut.push_back({name, "outside the package document's folder"});
            continue;
        }
        const std::string relative = name.substr(root.size());
        std::string data = zip.Read(i);
        // EPUB reads a page without a declared character set as UTF-8; the viewer would take the
        // reader's locale, so such HTML pages declare it. XHTML is parsed as XML, UTF-8 already.
        const std::string ext = ExtensionOf(relative);
        if ((ext == "html" || ext == "htm") && !DeclaresCharset(data)) data = WithUtf8Charset(data);
        AddPageFile(*book.Pages, relative, std::move(data), book.LeftOut);
    }

    // The table of contents: the navigation document, else the NCX.
    std::vector<TImportEntry> toc;
    const TEpubItem* nav = package.NavDocument();
    if (nav && zip.Find(root + nav->Path) >= 0)
        toc = ParseNavDocument(zip.Read(static_cast<zip_uint64_t>(zip.Find(root + nav->Path))), nav->Path);
    if (toc.empty()) {
        const TEpubItem* ncx = package.Find(package.NcxId);
        if (!ncx)
            for (const TEpubItem& item : package.Manifest)
                if (item.MediaType == "application/x-dtbncx+xml") ncx = &item;
        if (ncx && zip.Find(root + ncx->Path) >= 0)
            toc = ParseNcxDocument(zip.Read(static_cast<zip_uint64_t>(zip.Find(root + ncx->Path))), ncx->Path);
    }
    if (toc.empty()) book.LeftOut.push_back({opfPath, "no table of contents: every page stands alone"});
    book.ReadingOrder = BuildReadingOrder(spine, toc, [&](const std::string& page) {
        std::string title;
        if (TMFSFile* file = FindPageFile(*book.Pages, page)) title = TitleOfPage(std::string(file->Data.View().substr(0, 16384)));
        if (title.empty()) title = page.substr(page.rfind('/') + 1);
        return title;
    });

    if (const TEpubItem* cover = package.CoverImage()) {
        if (TMFSFile* file = FindPageFile(*book.Pages, cover->Path)) {
            book.CoverData = file->Data.str();
            book.CoverName = root + cover->Path;
        }
    }
    return book;
}
