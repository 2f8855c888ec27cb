// A reading order from arbitrary Story.xml text, then an arbitrary sequence of moves: every
// failure is the reader's or the story's own error and the cursor always stands on an entry of
// the story (or on none for an empty one).
#include "u_MFS.h"
#include "u_Story.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const size_t moves = in.ConsumeIntegralInRange<size_t>(0, 64);
    std::string script = in.ConsumeBytesAsString(moves * 3);
    TMFS archive;
    archive.Session()->CreateFile("\\Story.xml", faArchive, false)->Data = in.ConsumeRemainingBytesAsString();
    std::unique_ptr<TStory> story;
    try {
        story = std::make_unique<TStory>(archive, "Story.xml");
    } catch (const Exception&) {
        return 0;
    }
    FuzzedDataProvider steps(reinterpret_cast<const uint8_t*>(script.data()), script.size());
    while (steps.remaining_bytes() > 0) {
        const int op = steps.ConsumeIntegralInRange(0, 7);
        const int32_t level = steps.ConsumeIntegralInRange(-1, 4);
        // The page shown: the current one, another known one, or one outside the story.
        const std::string page = steps.ConsumeBool() ? story->CurrentPage() : "\\elsewhere.htm";
        try {
            switch (op) {
            case 0:
                story->First();
                break;
            case 1:
                story->Last();
                break;
            case 2:
                story->Next(page);
                break;
            case 3:
                story->Prior(page);
                break;
            case 4:
                story->NextChapter(page, level);
                break;
            case 5:
                story->PriorChapter(page, level);
                break;
            case 6:
                story->Locate(page);
                break;
            case 7:
                story->RightClickDisabled();
                story->Searchable();
                story->CurrentPageName();
                break;
            }
        } catch (const Exception&) {
            // "End of story encountered" and its kin.
        }
        if (story->CurrentEntry() && story->Line().Root() == nullptr) __builtin_trap();
    }
    return 0;
}
