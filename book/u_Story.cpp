#include "u_Story.h"
#include "u_Text.h"

#include "u_MFS.h"

#include <utility>
#include <vector>

namespace {

const std::string StoryFile = "\\Story.xml";

// base, a "\" unless base is empty or already ends with one, then value.
std::string JoinPath(const std::string& base, const std::string& value) {
    if (base.empty()) return value;
    return EndsWithBackslash(base) ? base + value : base + "\\" + value;
}

TXMLNode* NextSibling(const TXMLNode* node) {
    const TXMLNodes* owner = node->Owner;
    return owner && node->Index + 1 < owner->Count() ? owner->Items(node->Index + 1) : nullptr;
}

TXMLNode* LastDescendant(TXMLNode* node) {
    while (node->Nodes.Count() > 0)
        node = node->Nodes[node->Nodes.Count() - 1];
    return node;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TStoryLine

TStoryLine::TStoryLine(TMFS& systemArchive, std::string_view) {
    Load(systemArchive.Session()->GetFile(StoryFile)->Data);
}

TStoryLine::TStoryLine(std::string_view storyText) {
    Load(storyText);
}

void TStoryLine::Load(std::string_view storyText) {
    FParser.ParseText(storyText);
    ResolvePaths();
}

std::string TStoryLine::PageOf(const TXMLNode* entry) {
    return entry->Attributes.ValueOf("page", Variant("")).AsString();
}

bool TStoryLine::IsPage(const TXMLNode* entry) {
    // Loading stores every page as text, so the walk through the story copies nothing.
    const TXMLAttribute* page = entry->Attributes.Find("page");
    if (!page) return false;
    if (const std::string* text = page->Value.TextValue()) return !text->empty();
    return !page->Value.AsString().empty();
}

void TStoryLine::ResolvePaths() {
    TXMLNode* root = Root();
    // Archive paths take "/" as "\", so a page written "/welcome.htm" is the root's welcome.htm,
    // exactly the page the browser shows for it (and the one Locate is asked about).
    std::string rootBase = TMFS::NormalizePath(root->Attributes.ValueOf("Path", Variant("")).AsString());
    if (!rootBase.empty() && !StartsWithBackslash(rootBase)) rootBase = "\\" + rootBase;

    // Depth first in document order, without recursion: (entry, base folder of that entry).
    std::vector<std::pair<TXMLNode*, std::string>> pending;
    for (int32_t i = root->Nodes.Count() - 1; i >= 0; --i)
        pending.emplace_back(root->Nodes[i], rootBase);
    while (!pending.empty()) {
        auto [entry, base] = std::move(pending.back());
        pending.pop_back();

        if (TXMLAttribute* attribute = entry->Attributes.Find("page")) {
            std::string page = TMFS::NormalizePath(attribute->Value.AsString());
            if (!page.empty()) {
                if (!StartsWithBackslash(page)) page = JoinPath(base, page);
                if (!attribute->Value.TextValue() || *attribute->Value.TextValue() != page)
                    attribute->Value = page;
                if (!FPageIndex.Exists(page)) FPageIndex.Add(page, entry);
            }
        }
        // Children take this entry's own folder; without a "Path" they have no base at all.
        if (entry->Nodes.Count() == 0) continue;
        const TXMLAttribute* path = entry->Attributes.Find("Path");
        std::string childBase = path ? TMFS::NormalizePath(path->Value.AsString()) : std::string();
        if (!childBase.empty() && !StartsWithBackslash(childBase)) childBase = JoinPath(base, childBase);
        for (int32_t i = entry->Nodes.Count() - 1; i >= 0; --i)
            pending.emplace_back(entry->Nodes[i], childBase);
    }
}

TXMLNode* TStoryLine::FirstEntry() const {
    return Root()->Nodes.Count() > 0 ? Root()->Nodes[0] : nullptr;
}

TXMLNode* TStoryLine::LastEntry() const {
    const TXMLNodes& top = Root()->Nodes;
    return top.Count() > 0 ? LastDescendant(top[top.Count() - 1]) : nullptr;
}

TXMLNode* TStoryLine::NextEntry(const TXMLNode* entry) const {
    if (!entry) return nullptr;
    if (entry->Nodes.Count() > 0) return entry->Nodes[0];
    for (const TXMLNode* node = entry; node && node->Level > 0; node = node->Parent())
        if (TXMLNode* sibling = NextSibling(node)) return sibling;
    return nullptr;
}

TXMLNode* TStoryLine::PriorEntry(const TXMLNode* entry) const {
    if (!entry || entry->Level <= 0) return nullptr;
    if (entry->Index > 0) return LastDescendant(entry->Owner->Items(entry->Index - 1));
    TXMLNode* parent = entry->Parent();
    return parent && parent->Level > 0 ? parent : nullptr;
}

TXMLNode* TStoryLine::FindByPage(std::string_view path) const {
    if (path.empty()) return nullptr;
    return static_cast<TXMLNode*>(FPageIndex.Find(path, nullptr));
}

TXMLNode* TStoryLine::PageFrom(TXMLNode* entry) const {
    while (entry && !IsPage(entry))
        entry = NextEntry(entry);
    return entry;
}

TXMLNode* TStoryLine::FirstPage() const {
    return PageFrom(FirstEntry());
}

TXMLNode* TStoryLine::LastPage() const {
    TXMLNode* entry = LastEntry();
    while (entry && !IsPage(entry))
        entry = PriorEntry(entry);
    return entry;
}

TXMLNode* TStoryLine::NextPage(const TXMLNode* entry) const {
    return PageFrom(NextEntry(entry));
}

TXMLNode* TStoryLine::PriorPage(const TXMLNode* entry) const {
    TXMLNode* prior = PriorEntry(entry);
    while (prior && !IsPage(prior))
        prior = PriorEntry(prior);
    return prior;
}

TXMLNode* TStoryLine::NextChapter(const TXMLNode* entry, int32_t level) const {
    if (level <= 0) throw EStoryError(Format(SChapterLevelOutOfRange, level));
    if (!entry) return nullptr;
    if (entry->Level < level) return NextPage(entry);
    while (entry->Level > level)
        entry = entry->Parent();
    for (; entry->Level > 0; entry = entry->Parent())
        if (TXMLNode* sibling = NextSibling(entry)) return PageFrom(sibling);
    return nullptr;
}

TXMLNode* TStoryLine::PriorChapter(const TXMLNode* entry, int32_t level) const {
    if (level <= 0) throw EStoryError(Format(SChapterLevelOutOfRange, level));
    if (!entry) return nullptr;
    while (entry->Level > level)
        entry = entry->Parent();
    TXMLNode* candidate = PriorPage(entry);
    while (candidate && candidate->Level > level)
        candidate = candidate->Parent();
    return PageFrom(candidate);
}

// ---------------------------------------------------------------------------------------------
// TStory

TStory::TStory(TMFS& systemArchive, std::string_view storyFileName)
    : TStory(std::make_unique<TStoryLine>(systemArchive, storyFileName)) {}

TStory::TStory(std::unique_ptr<TStoryLine> line) : FLine(std::move(line)) {
    First();
}

void TStory::First() {
    FBof = FEof = false;
    FCurrentEntry = FLine->FirstPage();
    if (!FCurrentEntry) FBof = FEof = true;
}

void TStory::Last() {
    FBof = FEof = false;
    FCurrentEntry = FLine->LastPage();
    if (!FCurrentEntry) FBof = FEof = true;
}

void TStory::Locate(std::string_view pagePath) {
    TXMLNode* entry = FLine->FindByPage(pagePath);
    if (entry && entry != FCurrentEntry) {
        FCurrentEntry = entry;
        FBof = FEof = false;
    }
}

void TStory::Next(std::string_view pagePath) {
    Locate(pagePath);
    if (FEof) throw EStoryError(SEndOfStory);
    if (TXMLNode* entry = FLine->NextPage(FCurrentEntry)) {
        FBof = false;
        FCurrentEntry = entry;
    } else {
        FEof = true;
    }
}

void TStory::Prior(std::string_view pagePath) {
    Locate(pagePath);
    if (FBof) throw EStoryError(SBeginOfStory);
    if (TXMLNode* entry = FLine->PriorPage(FCurrentEntry)) {
        FEof = false;
        FCurrentEntry = entry;
    } else {
        FBof = true;
    }
}

TXMLNode* TStory::NextChapter(std::string_view pagePath, int32_t level) {
    Locate(pagePath);
    if (FEof) throw EStoryError(SEndOfStory);
    TXMLNode* entry = FLine->NextChapter(FCurrentEntry, level);
    if (entry) {
        FBof = false;
        FCurrentEntry = entry;
    } else if (!FLine->NextPage(FCurrentEntry)) {
        // Only a cursor that has nowhere left to go forward is at the end: in the middle of the
        // last chapter there is no next chapter, yet Next must still reach the following pages.
        FEof = true;
    }
    return entry;
}

TXMLNode* TStory::PriorChapter(std::string_view pagePath, int32_t level) {
    Locate(pagePath);
    if (FBof) throw EStoryError(SBeginOfStory);
    TXMLNode* entry = FLine->PriorChapter(FCurrentEntry, level);
    if (entry) {
        FEof = false;
        FCurrentEntry = entry;
    } else if (!FLine->PriorPage(FCurrentEntry)) {
        // The same at the start: inside the first chapter Prior still reaches its earlier pages.
        FBof = true;
    }
    return entry;
}

std::string TStory::CurrentPage() const {
    return FCurrentEntry ? TStoryLine::PageOf(FCurrentEntry) : std::string();
}

std::string TStory::CurrentPageName() const {
    return FCurrentEntry ? FCurrentEntry->Attributes.ValueOf("pagename", Variant("")).AsString()
                         : std::string();
}

bool TStory::RightClickDisabled() const {
    return FCurrentEntry ? !FCurrentEntry->Attributes.ValueOf("rightclick", Variant(true)).AsBoolean() : true;
}

bool TStory::Searchable() const {
    return FCurrentEntry ? FCurrentEntry->Attributes.ValueOf("searchable", Variant(true)).AsBoolean() : true;
}
