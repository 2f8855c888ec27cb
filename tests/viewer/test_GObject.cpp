// The owners of main-loop sources and signal connections: a source or a handler ends with its
// holder, whichever of the two goes first, and a failing body is reported once and not run again.
#include "ViewerTestSupport.h"
#include "u_GObject.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

namespace {

// Counts what GLib's object system warns about while it lives.
class TObjectWarnings {
  public:
    TObjectWarnings() {
        FHandler = g_log_set_handler(
            "GLib-GObject", GLogLevelFlags(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL),
            [](const gchar*, GLogLevelFlags, const gchar* message, gpointer self) {
                static_cast<TObjectWarnings*>(self)->Messages.emplace_back(message ? message : "");
            },
            this);
    }
    ~TObjectWarnings() { g_log_remove_handler("GLib-GObject", FHandler); }
    TObjectWarnings(const TObjectWarnings&) = delete;
    TObjectWarnings& operator=(const TObjectWarnings&) = delete;
    std::vector<std::string> Messages;

  private:
    guint FHandler;
};

using TActivate = void(GSimpleAction*, GVariant*);

void Activate(const TGObjectPtr<GSimpleAction>& action) {
    g_action_activate(G_ACTION(action.get()), nullptr);
}

} // namespace

TEST(GObjectOwners, SourcesAndConnectionsEndWithTheirOwners) {
    TRecorder recorder;
    TObjectWarnings warnings;

    {
        SCOPED_TRACE("a timer body cancels its own source");
        int runs = 0;
        TScopedSource timer;
        timer = TScopedSource::Timeout(1, [&] {
            ++runs;
            timer.Cancel();
            EXPECT_FALSE(timer.Active());
            return true; // asks for more, but the source is gone
        });
        ASSERT_TRUE(PumpUntil([&] { return runs > 0; }, 2000));
        PumpFor(30);
        EXPECT_EQ(runs, 1);
        EXPECT_FALSE(timer.Active());
    }
    {
        SCOPED_TRACE("a timer body puts a new source into its own holder");
        int first = 0, second = 0;
        TScopedSource timer;
        timer = TScopedSource::Timeout(1, [&] {
            ++first;
            timer = TScopedSource::Timeout(1, [&] {
                ++second;
                return false;
            });
            return true;
        });
        ASSERT_TRUE(PumpUntil([&] { return second > 0; }, 2000));
        PumpFor(30);
        EXPECT_EQ(first, 1);
        EXPECT_EQ(second, 1);
        // The first source's end left the second alone; the second's end is seen by the holder.
        EXPECT_FALSE(timer.Active());
    }
    {
        SCOPED_TRACE("a holder destroyed while its source waits");
        int runs = 0;
        {
            TScopedSource idle = TScopedSource::Idle([&] {
                ++runs;
                return false;
            });
            TScopedSource timer = TScopedSource::Timeout(1, [&] {
                ++runs;
                return true;
            });
            EXPECT_TRUE(idle.Active());
            EXPECT_TRUE(timer.Active());
        }
        PumpFor(30);
        EXPECT_EQ(runs, 0);
    }
    {
        SCOPED_TRACE("a moved holder");
        int runs = 0;
        auto from = std::make_unique<TScopedSource>(TScopedSource::Timeout(1, [&] {
            ++runs;
            return false;
        }));
        TScopedSource to(std::move(*from));
        EXPECT_FALSE(from->Active());
        EXPECT_TRUE(to.Active());
        from.reset(); // the holder moved from no longer cancels the source
        ASSERT_TRUE(PumpUntil([&] { return runs == 1; }, 2000));
        EXPECT_FALSE(to.Active()); // the source's end reaches the holder it moved to

        int replaced = 0, moved = 0;
        std::vector<TScopedSource> holders;
        holders.push_back(TScopedSource::Timeout(1, [&] {
            ++moved;
            return true;
        }));
        TScopedSource target = TScopedSource::Timeout(1, [&] {
            ++replaced;
            return true;
        });
        target = std::move(holders[0]); // cancels the source target held
        holders.clear();
        EXPECT_TRUE(target.Active());
        target.Cancel(); // the holder moved to cancels
        PumpFor(30);
        EXPECT_EQ(replaced, 0);
        EXPECT_EQ(moved, 0);
    }
    {
        SCOPED_TRACE("a body that throws");
        int runs = 0;
        TScopedSource failing = TScopedSource::Timeout(
            1,
            [&]() -> bool {
                ++runs;
                throw std::runtime_error("the timer broke");
            },
            "test timer");
        ASSERT_TRUE(PumpUntil([&] { return runs > 0; }, 2000));
        PumpFor(30);
        EXPECT_EQ(runs, 1);
        EXPECT_FALSE(failing.Active());
        ASSERT_EQ(recorder.Boxes.size(), 1u);
        EXPECT_EQ(recorder.Boxes[0].Kind, TMessageKind::Error);
        EXPECT_NE(recorder.Boxes[0].Text.find("the timer broke"), std::string::npos) << recorder.Boxes[0].Text;
    }
    {
        SCOPED_TRACE("a connection whose receiver dies first");
        auto action = TGObjectPtr<GSimpleAction>::Take(g_simple_action_new("go", nullptr));
        int calls = 0;
        auto receiver = std::make_unique<TSignalConnection>(TSignalConnection::Connect<TActivate>(
            action.get(), "activate", [&](GSimpleAction*, GVariant*) { ++calls; }));
        Activate(action);
        EXPECT_EQ(calls, 1);
        TSignalConnection movedTo = std::move(*receiver);
        receiver.reset(); // the connection moved from cuts nothing
        Activate(action);
        EXPECT_EQ(calls, 2);
        movedTo = TSignalConnection(); // the holder it moved to does
        Activate(action);
        EXPECT_EQ(calls, 2);
    }
    {
        SCOPED_TRACE("a connection whose instance dies first");
        auto action = TGObjectPtr<GSimpleAction>::Take(g_simple_action_new("go", nullptr));
        int calls = 0;
        auto receiver = std::make_unique<TSignalConnection>(TSignalConnection::Connect<TActivate>(
            action.get(), "activate", [&](GSimpleAction*, GVariant*) { ++calls; }));
        Activate(action);
        action.reset();
        receiver->Disconnect();
        receiver.reset();
        EXPECT_EQ(calls, 1);
        EXPECT_TRUE(warnings.Messages.empty()) << warnings.Messages.front();
    }
    {
        SCOPED_TRACE("a connection to a signal the instance does not have");
        auto action = TGObjectPtr<GSimpleAction>::Take(g_simple_action_new("go", nullptr));
        auto receiver = std::make_unique<TSignalConnection>(
            action.get(), ConnectSignal<TActivate>(action.get(), "no-such-signal", [](GSimpleAction*, GVariant*) {}));
        EXPECT_FALSE(receiver->Connected());
        EXPECT_EQ(warnings.Messages.size(), 1u); // GLib's own complaint about the name
        // The holder goes first, the instance after it: no weak reference is left that the dying
        // instance would clear in the freed holder (valgrind sees GLib's write otherwise), and the
        // handler's data is not leaked (the sanitizer build's leak check).
        receiver.reset();
        action.reset();
    }
}
