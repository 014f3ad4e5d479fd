// The GLib thread: a main context of the layer's own, pushed as the thread-default
// context of one thread that runs its loop for the life of the process. Relies on GLib.
#include "platform/glib_loop.h"

#include <glib.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace orven::glib {

namespace {

GMainContext* loopContext = nullptr;  // written once, under startOnce
std::thread::id loopThread;           // written once, under startOnce
std::once_flag startOnce;

void start() {
    std::call_once(startOnce, [] {
        loopContext = g_main_context_new();
        std::mutex lock;
        std::condition_variable running;
        bool started = false;
        std::thread thread([&] {
            g_main_context_push_thread_default(loopContext);
            GMainLoop* loop = g_main_loop_new(loopContext, FALSE);
            {
                // Notified under the lock: the waiting thread's condition variable lives
                // on its stack and is gone once it sees `started`.
                std::lock_guard<std::mutex> hold(lock);
                loopThread = std::this_thread::get_id();
                started = true;
                running.notify_all();
            }
            g_main_loop_run(loop);  // never quits: the clients live as long as the process
        });
        std::unique_lock<std::mutex> hold(lock);
        running.wait(hold, [&] { return started; });
        thread.detach();
    });
}

// Work waiting for the GLib thread. The queue has a lock of its own (GLib's locks are
// futexes that ThreadSanitizer cannot see), and one idle source runs everything queued.
std::mutex queueLock;
std::deque<std::function<void()>> queue;  // guarded by queueLock

gboolean runQueued(gpointer) {
    for (;;) {
        std::function<void()> fn;
        {
            std::lock_guard<std::mutex> hold(queueLock);
            if (queue.empty()) return G_SOURCE_REMOVE;
            fn = std::move(queue.front());
            queue.pop_front();
        }
        fn();
    }
}

}  // namespace

void invoke(std::function<void()> fn) {
    start();
    if (onLoopThread()) {
        fn();
        return;
    }
    // One queue rather than g_main_context_invoke for each, so that work handed over from
    // several threads keeps the order in which it came.
    {
        std::lock_guard<std::mutex> hold(queueLock);
        queue.push_back(std::move(fn));
    }
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, runQueued, nullptr, nullptr);
    g_source_attach(source, loopContext);
    g_source_unref(source);
}

bool onLoopThread() {
    start();
    return std::this_thread::get_id() == loopThread;
}

}  // namespace orven::glib
