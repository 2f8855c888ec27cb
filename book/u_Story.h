// The book's reading order, read from "\Story.xml" of the system archive. TStoryLine holds the
// parsed tree and answers stateless questions (next page after an entry, first page of the next
// chapter, entry of a page path); TStory is the cursor the viewer moves through it.
//
// Every element below the root is an entry, in document order; an entry with a non-empty "page"
// is a page of the reading order, and an entry's children group into a chapter. Relative page
// paths are joined to the base folders given by "Path" attributes when the story is loaded.
#pragma once

#include "u_Dictionary.h"
#include "u_SysUtils.h"
#include "u_XMLParser.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class TMFS;

TV_DECLARE_EXCEPTION(EStoryError, Exception);

inline constexpr const char* SEndOfStory = "End of story encountered";
inline constexpr const char* SBeginOfStory = "Begin of story encountered";
inline constexpr const char* SChapterLevelOutOfRange = "Chapter level is out of range (%d)";

class TStoryLine {
  public:
    // Reads "\Story.xml" of the archive through its default session, whatever storyFileName says
    // (the authoring tool always stores the reading order under that name). A missing file fails
    // with the archive's not-found error, syntax errors with the XML reader's.
    TStoryLine(TMFS& systemArchive, std::string_view storyFileName);
    // The same from the text of a story file.
    explicit TStoryLine(std::string_view storyText);
    TStoryLine(const TStoryLine&) = delete;
    TStoryLine& operator=(const TStoryLine&) = delete;

    TXMLNode* Root() const { return FParser.Root(); }

    TXMLNode* FirstEntry() const;
    TXMLNode* LastEntry() const;
    TXMLNode* NextEntry(const TXMLNode* entry) const;
    TXMLNode* PriorEntry(const TXMLNode* entry) const;
    // The first entry whose page equals path ignoring case; nullptr for an empty path.
    TXMLNode* FindByPage(std::string_view path) const;
    TXMLNode* FirstPage() const;
    TXMLNode* LastPage() const;
    TXMLNode* NextPage(const TXMLNode* entry) const;
    TXMLNode* PriorPage(const TXMLNode* entry) const;
    // The first page of the chapter (at the given depth, 1 = top level) after / before the one
    // that holds entry. A level of 0 or less fails with EStoryError.
    TXMLNode* NextChapter(const TXMLNode* entry, int32_t level) const;
    TXMLNode* PriorChapter(const TXMLNode* entry, int32_t level) const;

    static std::string PageOf(const TXMLNode* entry);
    static bool IsPage(const TXMLNode* entry);

  private:
    void Load(std::string_view storyText);
    void ResolvePaths();
    // The first page entry from entry onward in document order, entry included.
    TXMLNode* PageFrom(TXMLNode* entry) const;

    TXMLParser FParser;
    // Page path to the first entry showing it, so that locating the page the browser shows does
    // not walk the whole story.
    TDictionary FPageIndex{true, true};
};

class TStory {
  public:
    // Loads the reading order and stands on its first page (both end flags set when it has none).
    TStory(TMFS& systemArchive, std::string_view storyFileName);
    explicit TStory(std::unique_ptr<TStoryLine> line);
    TStory(const TStory&) = delete;
    TStory& operator=(const TStory&) = delete;

    void First();
    void Last();
    // Moves to the entry of pagePath when the story has it and it is not the current one; a path
    // outside the story changes nothing.
    void Locate(std::string_view pagePath);
    // The moves first Locate the page the browser shows. At an end they set the end flag and keep
    // the current entry; moving on from there fails with "End of story encountered" / "Begin of
    // story encountered".
    void Next(std::string_view pagePath);
    void Prior(std::string_view pagePath);
    // A chapter move that finds no chapter keeps the current entry; it sets the end flag of its
    // direction only when the page move that way would find nothing too (the cursor is on the
    // last / first page), so Next / Prior still reach the rest of the last / first chapter.
    TXMLNode* NextChapter(std::string_view pagePath, int32_t level);
    TXMLNode* PriorChapter(std::string_view pagePath, int32_t level);

    std::string CurrentPage() const;
    std::string CurrentPageName() const;
    bool RightClickDisabled() const;
    bool Searchable() const;

    TStoryLine& Line() const { return *FLine; }
    bool Bof() const { return FBof; }
    bool Eof() const { return FEof; }
    TXMLNode* CurrentEntry() const { return FCurrentEntry; }

  private:
    std::unique_ptr<TStoryLine> FLine;
    bool FBof = false;
    bool FEof = false;
    TXMLNode* FCurrentEntry = nullptr;
};
