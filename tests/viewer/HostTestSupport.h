// Shared by the script-host and user-form tests: a main window over a packed book, scripts run in
// its pages, the debug log recorded, and code run inside a user form's modal display.
#pragma once

#include "ViewerTestSupport.h"
#include "frm_Main.h"
#include "frm_UserForm.h"
#include "u_HostExternal.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class THostTest : public TMainWindowFixture {
  protected:
    // The window over the packed test book, or over the packed program executable.
    TfrmMain& Open(const std::string& executable = "");
    // The value of script in the main window's page ("<no answer>" when it fails or times out).
    std::string Eval(const std::string& script);
    static std::string Eval(TMXWebBrowser& browser, const std::string& script);
    // script's value, or "error: <message>" for what it throws.
    std::string Try(const std::string& script);
    static std::string Try(TMXWebBrowser& browser, const std::string& script);
    THostExternal& Host();

    // Starts script in the main page on a timer (so that a form it opens can run while the page
    // waits); whatever it throws is kept in window.__result as "error: <message>", otherwise
    // window.__result becomes "done".
    void StartInMainPage(const std::string& script);
    // Runs body inside the modal display of the next user form once its page has loaded; the form
    // is closed afterwards if body left it open. False when no form opened within the time.
    bool InForm(const std::function<void(TfrmUserForm&)>& body, int timeoutMs = 20000);
    // window.__result of the main page once the script started with StartInMainPage has ended.
    std::string MainResult();

    void TearDown() override;

    TLogCapture Log;

  private:
    TComPtr<IHostExternal> FHost; // kept also after the main window has let go of it
};

// Adds a user-forms file to the standard book: forms is the content of its root element.
void AddForms(TTestBook& book, const std::string& forms, const std::string& file = "Forms.xml");
