// What the script host object and the user forms need of the viewer's main window: the story and
// its moves, the page shown and the page view showing it, the window the forms stay above, the
// object its pages get as window.external, and closing.
//
// The main window makes the host object and hands it a link to itself (THostWindowLink), which it
// empties when it goes: a host object, story or form that a page still holds then fails with "The
// main window has been closed" instead of reaching a destroyed window.
#pragma once

#include "u_ActiveX.h"

#include <gtk/gtk.h>

#include <memory>
#include <string>

class TStory;
class TMXWebBrowser;

class IHostWindow {
  public:
    // The reading order (none before the start-up has made it).
    virtual TStory* Story() const = 0;
    // Navigates the page view to the story's current page.
    virtual void ShowStoryPage() = 0;
    // The page shown, without a leading "mfs:".
    virtual std::string GetCurrentPage() = 0;
    // Puts the story's cursor on the page shown, when it is a page of the story.
    virtual void SyncStory() = 0;
    // The main window's page view (none once it has gone).
    virtual TMXWebBrowser* PageView() const = 0;
    // The top-level window, which user forms stay above.
    virtual GtkWindow* Window() const = 0;
    // The object the main window's pages get as window.external (S_FALSE when there is none).
    virtual HRESULT webMain2GetExternal(TComPtr<IUnknown>& external) = 0;
    // From the first close request on.
    virtual bool Closing() const = 0;
    // Closes the window through its normal close path from the main loop.
    virtual void PostClose() = 0;

  protected:
    ~IHostWindow() = default;
};

// The main window as host objects and forms hold it: shared with them, emptied by the window when
// it is destroyed.
struct THostWindowLink {
    IHostWindow* Window = nullptr;
};
using THostWindow = std::shared_ptr<const THostWindowLink>;

// The window link names: none without a link or once the window has gone.
inline IHostWindow* LinkedWindow(const THostWindow& link) {
    return link ? link->Window : nullptr;
}
