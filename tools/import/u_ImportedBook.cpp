#include "u_ImportedBook.h"

#include "u_FolderArchive.h"

#include <cctype>

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

void AddPageFile(TMFS& archive, const std::string& path, std::string data, std::vector<TLeftOut>& leftOut) {
    TMFSFolder* folder = archive.Root();
    std::string where;
    size_t start = 0;
    for (;;) {
        const size_t slash = path.find('/', start);
        const std::string name = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (name.find('\\') != std::string::npos) {
            leftOut.push_back({path, "a name in a book cannot contain \"\\\""});
            return;
        }
        TMFSItem* existing = folder->Children.Find(name);
        const bool last = slash == std::string::npos;
        auto* file = dynamic_cast<TMFSFile*>(existing);
        auto* next = dynamic_cast<TMFSFolder*>(existing);
        if (existing && (last ? !file : !next)) {
            leftOut.push_back({path, Format("\"%s\" in \"%s\" is a file and a folder at once", name.c_str(),
                                            where.empty() ? "/" : where.c_str())});
            return;
        }
        if (existing && existing->Name != name) {
            const std::string clash = Format("\"%s\" and \"%s\" in \"%s\" differ only in letter case",
                                             existing->Name.c_str(), name.c_str(), where.empty() ? "/" : where.c_str());
            if (!last || file->Data.size() >= data.size()) {
                leftOut.push_back({path, clash + "; the other is kept"});
                return;
            }
            leftOut.push_back({(where.empty() ? "" : where + "/") + existing->Name, clash + "; the larger is kept"});
            delete existing; // takes itself out of its parent
            existing = file = nullptr;
        }
        if (last) {
            if (!file) file = new TMFSFile(name, &archive, folder); // the parent owns it
            file->Data = std::move(data);
            file->Attributes = faArchive;
            return;
        }
        if (!next) next = new TMFSFolder(name, &archive, folder); // the parent owns it
        folder = next;
        where += (where.empty() ? "" : "/") + name;
        start = slash + 1;
    }
}

TMFSFile* FindPageFile(TMFS& archive, const std::string& path) {
    try {
        return dynamic_cast<TMFSFile*>(archive.Session()->GetItem(TMFS::NormalizePath("\\" + path.substr(0, path.find('#')))));
    } catch (const EMFSError&) {
        return nullptr;
    }
}

bool NormalizeRelativePath(const std::string& path, std::string& normalized) {
    if (path.empty() || path[0] == '/' || path[0] == '\\') return false;
    if (path.size() > 1 && path[1] == ':') return false; // a drive letter
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t slash = path.find('/', start);
        const std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (part == "..") {
            if (parts.empty()) return false;
            parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    if (parts.empty()) return false;
    normalized.clear();
    for (const std::string& part : parts) normalized += (normalized.empty() ? "" : "/") + part;
    return true;
}

std::string PercentDecode(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                result += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        result += text[i];
    }
    return result;
}

std::string CollapseBlanks(const std::string& text) {
    std::string result;
    bool blank = false;
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
            blank = true;
            continue;
        }
        if (blank && !result.empty()) result += ' ';
        blank = false;
        result += c;
    }
    return result;
}

bool HasUrlScheme(const std::string& reference) {
    for (size_t i = 0; i < reference.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(reference[i]);
        if (c == ':') return i > 1; // "c:" alone is a drive letter, not a scheme
        if (!(std::isalnum(c) || c == '+' || c == '-' || c == '.')) return false;
    }
    return false;
}
