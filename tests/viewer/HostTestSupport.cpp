#include "HostTestSupport.h"

#include "frm_Splash.h"

TfrmMain& THostTest::Open(const std::string& executable) {
    Window = std::make_unique<TfrmMain>(executable.empty() ? Book.Pack() : executable);
    if (Window->HostExternal()) Window->HostExternal()->QueryInterface(IID_IHostExternal, FHost.PutVoid());
    gtk_widget_show(GTK_WIDGET(Window->Window()));
    return *Window;
}

std::string THostTest::Eval(TMXWebBrowser& browser, const std::string& script) {
    return browser.EvaluateScript(script).value_or("<no answer>");
}

std::string THostTest::Eval(const std::string& script) {
    return Eval(*Window->webMain, script);
}

std::string THostTest::Try(TMXWebBrowser& browser, const std::string& script) {
    return Eval(browser, "(function () { try { return String(" + script +
                             "); } catch (e) { return 'error: ' + e.message; } })()");
}

std::string THostTest::Try(const std::string& script) {
    return Try(*Window->webMain, script);
}

THostExternal& THostTest::Host() {
    return *static_cast<THostExternal*>(FHost.Get());
}

void THostTest::StartInMainPage(const std::string& script) {
    Eval("window.__result = undefined; setTimeout(function () { try { " + script +
         "; window.__result = 'done'; } catch (e) { window.__result = 'error: ' + e.message; } }, 0); 1");
}

bool THostTest::InForm(const std::function<void(TfrmUserForm&)>& body, int timeoutMs) {
    struct TContext {
        THostTest* Test;
        const std::function<void(TfrmUserForm&)>* Body;
        TfrmUserForm* Before; // the form already open when this one was asked for
        bool Ran = false;
    } context{this, &body, Host().ActiveForm()};
    const guint timer = g_timeout_add(
        20,
        [](gpointer data) -> gboolean {
            auto* c = static_cast<TContext*>(data);
            TfrmUserForm* form = c->Test->Host().ActiveForm();
            if (!form || form == c->Before || form->webUserForm->ReadyState() != READYSTATE_COMPLETE)
                return G_SOURCE_CONTINUE;
            c->Ran = true;
            (*c->Body)(*form);
            // Leave no form open behind a failed expectation: the test would wait for ever.
            if (form->ModalResult() == mrNone) form->Close();
            return G_SOURCE_REMOVE;
        },
        &context);
    const bool ran = PumpUntil([&] { return context.Ran; }, timeoutMs);
    if (!ran) g_source_remove(timer);
    return ran;
}

std::string THostTest::MainResult() {
    std::string result;
    PumpUntil([&] {
        result = Eval("String(window.__result)");
        return result != "undefined";
    });
    return result;
}

void THostTest::TearDown() {
    FHost.Reset();
    TMainWindowFixture::TearDown();
}

void AddForms(TTestBook& book, const std::string& forms, const std::string& file) {
    book.Add("system/" + file, "<AdditionalPages>" + forms + "</AdditionalPages>");
}
