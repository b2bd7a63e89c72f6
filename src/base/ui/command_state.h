#pragma once
// The one command a window runs at a time, shared by the window's parts: a
// part sets `busy` when its command starts and calls end() when it is done.

#include <functional>

namespace sheaf::ui {

struct CommandState
{
    bool busy = false;
    std::function<void()> ended; // the window's follow-up (a close waiting)

    void end()
    {
        busy = false;
        if (ended)
            ended();
    }
};

} // namespace sheaf::ui
