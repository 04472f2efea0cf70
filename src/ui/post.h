// Work handed to a window from any thread, run later on the window's own thread.
//
// Worker threads reach the user interface only this way (or by posting plain messages): they
// never call into a control. Dialogs and subclassed controls of this framework run the work
// posted to them; other windows refuse it.
#pragma once

#include <windows.h>

#include <functional>

namespace corvella::ui {

// Queues `task` for `window` and posts it the message that runs it. Any thread may call it.
// Tasks for one window start in the order they were posted. False when the window does not take
// posted work (it is gone, is not one of ours, or is being destroyed): the task is then
// destroyed at once, without running.
bool Post(HWND window, std::function<void()> task);

// The framework's side, on the window's thread. The window accepts posts from AcceptPosts on;
// DropPosts, at its destruction, destroys the tasks that did not run and refuses later ones.
// RunPosted runs what is queued; it is the answer to PostedMessage().
void AcceptPosts(HWND window);
void DropPosts(HWND window);
void RunPosted(HWND window);
UINT PostedMessage();

}  // namespace corvella::ui
