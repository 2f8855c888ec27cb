// Message boxes: a modal box with an icon and a single OK button. Every box is also written to
// the debug log. Tests put a hook in place to see the boxes without a reader to press OK.
#pragma once

#include <functional>
#include <string>

// Plain: the text alone, without an icon.
enum class TMessageKind { Error, Information, Plain };

// The application's title: the caption of every message box. Starts as the program's name.
const std::string& ApplicationTitle();
void SetApplicationTitle(const std::string& title);

// The window that message boxes belong to (transient for it, centred on it when it is shown), or
// none. The main window names itself while it lives.
typedef struct _GtkWindow GtkWindow;
void SetMessageBoxOwner(GtkWindow* owner);
GtkWindow* MessageBoxOwner();

// Shows text (system code page) and returns when the reader has pressed OK.
void ShowMessageBox(TMessageKind kind, const std::string& text);

// While a hook is set, boxes go to it instead of the screen. Returns the previous hook.
using TMessageBoxHook = std::function<void(TMessageKind kind, const std::string& text)>;
TMessageBoxHook SetMessageBoxHook(TMessageBoxHook hook);
