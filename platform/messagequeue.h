// The main thread's message queue: hidden windows, posted and sent messages, main-thread calls.
//
// Principles of operation:
// - One queue per process, owned by the main thread (BindMainThread). Any thread may post a
//   message to a hidden window, send one and wait for its result, or hand the main thread a
//   call and wait for it. Only the main thread runs window procedures and calls, one at a time,
//   in the order they were queued, when it pumps (PumpOneMessage). The GUI drains the queue
//   from its own event loop, woken through the wake hook; tests pump by hand.
// - A send or call made on the main thread itself runs at once, directly. Before any thread has
//   been bound there is no queue owner, and sends and calls run on the calling thread.
// - Hand-off rule of a send: it waits for the main thread up to its time-out. A send whose
//   time-out passes before its procedure has started is taken out of the queue and never runs.
//   Once the procedure has started, the sender waits for it to finish, however long it takes,
//   so a sender never goes on while a procedure still works with what the sender handed over.
// - Destroying a window drops the messages posted to it and fails the sends queued for it, so
//   no sender is left waiting.
// - The quit message is a flag below every other message, as a GUI's quit request is: pumps run
//   the queued messages first, and a pump that finds only the quit request leaves it in place
//   ("posts it again") and returns false, so the application still ends.
// - Locks: one mutex guards the windows, the queue, the quit flag and every hand-off's state.
//   No window procedure, call or wake hook runs with it held, so any of them may use the queue.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace talyx::platform {

using WindowHandle = int32_t;  // 0 = no window
using WParam = uint32_t;
using LParam = int32_t;
using LResult = intptr_t;
using WindowProc = std::function<LResult(WindowHandle, uint32_t msg, WParam, LParam)>;

// The calling thread becomes the main thread (GUI start; a test thread in tests). Messages
// already queued stay queued for it.
void BindMainThread();
bool IsMainThread();

// A window with a procedure, reachable by handle from any thread; 0 when proc is empty.
WindowHandle CreateHiddenWindow(const std::string& className, WindowProc proc);
// False when the window does not exist. A procedure of it that is running goes on to its end.
bool DestroyHiddenWindow(WindowHandle window);
bool IsWindow(WindowHandle window);

// Queues the message for the window's procedure and returns at once. False: no such window.
bool PostMessage(WindowHandle window, uint32_t msg, WParam wParam, LParam lParam);

// Runs the window procedure on the main thread and blocks until it has run or timeoutMs passed
// (called on the main thread itself: runs it directly). A hand-off whose time-out passes before
// the procedure starts is dropped (never runs later); once the procedure has started the sender
// waits for it to finish. True, with the procedure's result in *result (when result is given),
// when the procedure ran; false when the window does not exist or was destroyed before the
// procedure started, or the time-out passed first.
bool SendMessageTimeout(WindowHandle window, uint32_t msg, WParam wParam, LParam lParam,
                        uint32_t timeoutMs, LResult* result);

// Runs at most one message queued for the calling thread (posted messages and pending sends/calls
// for the main thread); on any other thread it runs nothing. A quit message found here is posted
// again (so the application still ends) and the call returns false. True when it ran something.
// An exception thrown by a window procedure leaves through this call; its sender is failed.
bool PumpOneMessage();

void PostQuitMessage(int exitCode);
// A quit message is queued; its exit code in *exitCode when given.
bool QuitRequested(int* exitCode);
// Takes the quit message out of the queue (the main loop has ended); false when there is none.
bool TakeQuitMessage(int* exitCode);

// Runs fn on the main thread and blocks until it has run (directly when called on the main
// thread). An exception thrown by fn is thrown again here, in the calling thread.
void CallInMainThread(const std::function<void()>& fn);

// Whether the main thread is running, anywhere on its stack, a send or call that the given thread
// made and is waiting for: code that runs there must not wait for that thread.
bool ServingHandOffFrom(std::thread::id sender);

// Queues fn to run on the main thread and returns at once (runs it directly when called on the
// main thread, or before any thread is bound). An exception fn throws leaves through the pump
// that runs it.
void PostToMainThread(std::function<void()> fn);

// Called from any thread whenever something is queued for the main thread, so a GUI event loop
// can schedule draining; tests leave it unset and pump by hand. The hook runs on the queueing
// thread with no lock held and must only schedule, never pump.
void SetQueueWakeHook(std::function<void()> hook);

}  // namespace talyx::platform
