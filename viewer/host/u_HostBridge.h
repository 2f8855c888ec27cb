// The GUI side of window.external: the private scheme "vellumet-host:" through which the proxies of
// the host user script (u_HostScript) call the automation objects.
//
// Each page view that offers the host object registers here (InstallHostScript). A
// request is answered only when it comes from such a view showing a book page (schemes mfs and
// system), its page claims a book address and the engine's Origin header is a book origin: so a
// frame of another origin inside a book page, or any page the reader reached outside the book, is
// refused (logged as "host refused <URL>"). Handle 0 is the view's external object (its
// OnGetExternal); other handles are the objects this view has been given, numbered per view, so a
// page cannot name an object that was never handed to its view.
//
// A call runs on the GUI thread while the page's script waits. ShowUserForm runs from the main
// loop rather than inside the engine's callback, and its request stays pending until the form
// has closed. Every call is logged: "host <Interface>.<Member> ok" or "... failed: <message>".
#pragma once

class TMXWebBrowser;

// Registers the scheme with WebKit on first use and lets browser's book pages call its external
// object until the view is destroyed.
void RegisterHostView(TMXWebBrowser& browser);

// Gives browser's book pages its OnGetExternal object as window.external (the host user script and
// RegisterHostView), and routes their window.close() to its OnCloseQuery. Views that must offer no
// host object (the print preview) never get it.
void InstallHostScript(TMXWebBrowser& browser);
