#include "u_HtmlFolderReader.h"

#include "u_FolderArchive.h"
#include "u_XmlDocument.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace {

bool IsListElement(const xmlNode* node) {
    return IsElement(node, "ul") || IsElement(node, "ol") || IsElement(node, "dl");
}

bool IsPageName(const std::string& path) {
    const std::string name = path.substr(0, path.find('#'));
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.find('/', dot) != std::string::npos) return false;
    std::string ext = name.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == "html" || ext == "htm" || ext == "xhtml";
}

class TContentsWalk {
  public:
    TContentsWalk(const std::string& indexPath, const std::function<bool(const std::string&)>& exists)
        : FIndexPath(indexPath), FExists(exists) {}

    void Visit(const xmlNode* node, std::vector<TImportEntry>& out, int depth) {
        if (depth > 200) return; // the HTML parser nests no deeper; a bound against any surprise
        if (IsElement(node, "a")) {
            AddLink(node, out);
        } else if (IsElement(node, "li")) {
            VisitItem(node, out, depth);
        } else if (IsElement(node, "dl")) {
            VisitDefinitionList(node, out, depth);
        } else {
            for (const xmlNode* child = node->children; child; child = child->next)
                if (child->type == XML_ELEMENT_NODE) Visit(child, out, depth + 1);
        }
    }

  private:
    void AddLink(const xmlNode* link, std::vector<TImportEntry>& out) {
        const std::string href = AttributeOf(link, "href");
        if (href.empty() || HasUrlScheme(href) || href[0] == '#') return;
        const size_t hash = href.find('#');
        std::string target = href.substr(0, hash);
        target = PercentDecode(target.substr(0, target.find('?')));
        const size_t slash = FIndexPath.rfind('/');
        const std::string folder = slash == std::string::npos ? "" : FIndexPath.substr(0, slash + 1);
        std::string path;
        if (target.empty() || target[0] == '/' || !NormalizeRelativePath(folder + target, path)) return;
        if (path == FIndexPath || !IsPageName(path) || !FExists(path)) return;
        TImportEntry entry;
        entry.Page = hash == std::string::npos ? path : path + href.substr(hash);
        entry.Name = CollapseBlanks(TextOf(link));
        if (entry.Name.empty()) entry.Name = CollapseBlanks(AttributeOf(link, "title"));
        if (entry.Name.empty()) entry.Name = path.substr(path.rfind('/') + 1);
        out.push_back(std::move(entry));
    }

    // A list item: its own links, with its nested lists as the first link's chapter.
    void VisitItem(const xmlNode* item, std::vector<TImportEntry>& out, int depth) {
        std::vector<TImportEntry> own, nested;
        for (const xmlNode* child = item->children; child; child = child->next) {
            if (child->type != XML_ELEMENT_NODE) continue;
            Visit(child, IsListElement(child) ? nested : own, depth + 1);
        }
        Attach(own, nested, out);
    }

    // A definition list: a term's links, with the description after it as their chapter.
    void VisitDefinitionList(const xmlNode* list, std::vector<TImportEntry>& out, int depth) {
        std::vector<TImportEntry> own;
        for (const xmlNode* child = list->children; child; child = child->next) {
            if (child->type != XML_ELEMENT_NODE) continue;
            if (IsElement(child, "dd")) {
                std::vector<TImportEntry> nested;
                Visit(child, nested, depth + 1);
                Attach(own, nested, out);
                own.clear();
            } else {
                if (!own.empty()) Flush(own, out);
                Visit(child, own, depth + 1);
            }
        }
        Flush(own, out);
    }

    static void Flush(std::vector<TImportEntry>& own, std::vector<TImportEntry>& out) {
        for (TImportEntry& entry : own) out.push_back(std::move(entry));
        own.clear();
    }

    static void Attach(std::vector<TImportEntry>& own, std::vector<TImportEntry>& nested,
                       std::vector<TImportEntry>& out) {
        if (own.empty()) {
            if (!nested.empty()) out.push_back({"", "", std::move(nested)}); // a chapter without a page
            return;
        }
        for (TImportEntry& entry : nested) own.front().Children.push_back(std::move(entry));
        Flush(own, out);
    }

    std::string FIndexPath;
    const std::function<bool(const std::string&)>& FExists;
};

// Every page once, at its first place: a later entry of a page already listed keeps only its
// children; an entry left with neither page nor children goes.
void KeepFirst(std::vector<TImportEntry>& entries, std::set<std::string>& seen) {
    std::vector<TImportEntry> kept;
    for (TImportEntry& entry : entries) {
        if (!entry.Page.empty() && !seen.insert(entry.Page).second) entry.Page.clear();
        KeepFirst(entry.Children, seen);
        if (entry.Page.empty() && entry.Children.empty()) continue;
        if (entry.Page.empty() && entry.Children.size() == 1) {
            kept.push_back(std::move(entry.Children.front())); // a chapter of one needs no chapter
            continue;
        }
        kept.push_back(std::move(entry));
    }
    entries = std::move(kept);
}

xmlNode* ContentsElement(xmlNode* root) {
    std::vector<xmlNode*> stack;
    if (root) stack.push_back(root);
    xmlNode* named = nullptr;
    while (!stack.empty()) {
        xmlNode* node = stack.back();
        stack.pop_back();
        if (IsElement(node, "nav")) return node;
        if (!named && node->type == XML_ELEMENT_NODE) {
            for (const char* key : {"class", "id"}) {
                const std::string value = AttributeOf(node, key);
                if (HasToken(value, "toc") || HasToken(value, "contents")) named = node;
            }
        }
        for (xmlNode* child = node->last; child; child = child->prev)
            if (child->type == XML_ELEMENT_NODE) stack.push_back(child);
    }
    return named ? named : root;
}

void PagesOf(const std::vector<TImportEntry>& entries, std::set<std::string>& files) {
    for (const TImportEntry& entry : entries) {
        if (!entry.Page.empty()) files.insert(entry.Page.substr(0, entry.Page.find('#')));
        PagesOf(entry.Children, files);
    }
}

void ListUnreached(const TMFSFolder& folder, const std::string& prefix, const std::set<std::string>& reached,
                   std::vector<TLeftOut>& leftOut) {
    folder.Children.ForEach([&](const std::string&, TMFSItem* item) {
        const std::string path = prefix + item->Name;
        if (const auto* child = dynamic_cast<const TMFSFolder*>(item))
            ListUnreached(*child, path + "/", reached, leftOut);
        else if (IsPageName(path) && !reached.count(path))
            leftOut.push_back({path, "not in the table of contents: in pages/, not in the reading order"});
    });
}

// Every regular file below folder into the archive; what it cannot hold is left out with the reason.
void AddFolder(const std::string& folder, TMFS& archive, std::vector<TLeftOut>& leftOut) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, error);
    if (error) throw EImportError(Format("Cannot read the folder \"%s\": %s", folder.c_str(), error.message().c_str()));
    std::vector<fs::path> files;
    for (; it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (error) throw EImportError(Format("Cannot read the folder \"%s\": %s", folder.c_str(), error.message().c_str()));
        const fs::path relative = it->path().lexically_relative(folder);
        std::error_code kind;
        if (it->is_directory(kind)) continue;
        if (!it->is_regular_file(kind)) {
            leftOut.push_back({relative.string(), "neither a file nor a folder"});
            continue;
        }
        files.push_back(relative);
    }
    // In name order, so that the same folder gives the same book.
    std::sort(files.begin(), files.end());
    uintmax_t total = 0;
    for (const fs::path& relative : files) {
        const fs::path path = fs::path(folder) / relative;
        std::ifstream in(path, std::ios::binary);
        if (!in) throw EImportError(Format("Cannot read \"%s\"", path.c_str()));
        std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad()) throw EImportError(Format("Cannot read \"%s\"", path.c_str()));
        total += data.size();
        if (total > 0x7FFF8000)
            throw EImportError(Format("\"%s\": the book's files are too large for one cabinet", folder.c_str()));
        AddPageFile(archive, relative.generic_string(), std::move(data), leftOut);
    }
}

} // namespace

std::vector<TImportEntry> ParseIndexContents(const std::string& html, const std::string& indexPath,
                                             const std::function<bool(const std::string&)>& exists) {
    const TXmlDocument doc = ParseHtml(html);
    if (!doc) return {};
    std::vector<TImportEntry> entries;
    TContentsWalk walk(indexPath, exists);
    if (xmlNode* contents = ContentsElement(xmlDocGetRootElement(doc.get()))) walk.Visit(contents, entries, 0);
    std::set<std::string> seen;
    KeepFirst(entries, seen);
    return entries;
}

TImportedBook ReadHtmlFolder(const std::string& folder, const std::string& index) {
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error))
        throw EImportError(Format("\"%s\" is neither an EPUB file nor a folder", folder.c_str()));
    TImportedBook book;
    book.Source = folder;
    book.SourceKind = "HTML folder";
    AddFolder(folder, *book.Pages, book.LeftOut);

    std::string indexPath;
    for (const std::string& candidate :
         index.empty() ? std::vector<std::string>{"index.html", "index.htm"} : std::vector<std::string>{index}) {
        std::string normalized;
        if (NormalizeRelativePath(candidate, normalized) && FindPageFile(*book.Pages, normalized)) {
            indexPath = normalized;
            break;
        }
    }
    if (indexPath.empty()) {
        if (!index.empty())
            throw EImportError(Format("\"%s\": there is no index page \"%s\" in it", folder.c_str(), index.c_str()));
        throw EImportError(
            Format("\"%s\" has no index page (index.html or index.htm): name one with --index", folder.c_str()));
    }
    // The name as stored: a page named in another letter case is found, and listed as it is.
    const TMFSFile* indexFile = FindPageFile(*book.Pages, indexPath);
    std::string stored = indexFile->Name;
    for (const TMFSFolder* up = indexFile->Parent; up && up->Parent; up = up->Parent) stored = up->Name + "/" + stored;
    indexPath = stored;

    const TXmlDocument doc = ParseHtml(indexFile->Data.str());
    if (doc) book.Title = CollapseBlanks(TextOf(FindElement(xmlDocGetRootElement(doc.get()), "title")));
    if (book.Title.empty()) {
        std::filesystem::path name = std::filesystem::absolute(folder).lexically_normal();
        if (name.filename().empty()) name = name.parent_path();
        book.Title = name.filename().string();
    }

    const std::function<bool(const std::string&)> exists = [&](const std::string& path) {
        const TMFSFile* file = FindPageFile(*book.Pages, path);
        return file != nullptr;
    };
    TImportEntry start;
    start.Page = indexPath;
    start.Name = book.Title;
    book.ReadingOrder.push_back(std::move(start));
    for (TImportEntry& entry : ParseIndexContents(indexFile->Data.str(), indexPath, exists))
        book.ReadingOrder.push_back(std::move(entry));

    std::set<std::string> reached;
    PagesOf(book.ReadingOrder, reached);
    ListUnreached(*book.Pages->Root(), "", reached, book.LeftOut);
    return book;
}
