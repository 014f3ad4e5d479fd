// The GLib thread: a main context of the layer's own, pushed as the thread-default
// context of one thread that runs its loop for the life of the process. Relies on GLib.
#include "platform/glib_loop.h"

#include <glib.h>

#include <condition_variable>
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
                std::lock_guard<std::mutex> hold(lock);
                loopThread = std::this_thread::get_id();
                started = true;
            }
            running.notify_all();
            g_main_loop_run(loop);  // never quits: the clients live as long as the process
        });
        std::unique_lock<std::mutex> hold(lock);
        running.wait(hold, [&] { return started; });
        thread.detach();
    });
}

gboolean runOnce(gpointer data) {
    (*static_cast<std::function<void()>*>(data))();
    return G_SOURCE_REMOVE;
}

void destroy(gpointer data) {
    delete static_cast<std::function<void()>*>(data);
}

}  // namespace

void invoke(std::function<void()> fn) {
    start();
    if (onLoopThread()) {
        fn();
        return;
    }
    // An idle source of its own rather than g_main_context_invoke, so that work handed
    // over from several threads keeps the order in which it came.
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, runOnce, new std::function<void()>(std::move(fn)), destroy);
    g_source_attach(source, loopContext);
    g_source_unref(source);
}

bool onLoopThread() {
    start();
    return std::this_thread::get_id() == loopThread;
}

}  // namespace orven::glib
