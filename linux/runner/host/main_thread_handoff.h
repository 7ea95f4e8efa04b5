#ifndef LINUX_RUNNER_HOST_MAIN_THREAD_HANDOFF_H_
#define LINUX_RUNNER_HOST_MAIN_THREAD_HANDOFF_H_

// How work leaves the main thread and its answer comes back. Replies, events
// and everything else that touches GTK or the messenger happen on the main
// thread; a worker only computes a plain result and posts it there.

#include <glib-object.h>

#include <atomic>
#include <memory>
#include <system_error>
#include <thread>
#include <type_traits>
#include <utility>

namespace korvane_bridge {

// One GObject reference, dropped with its holder: it carries a response
// handle or the callback API across threads.
struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using ObjectRef = std::unique_ptr<T, GObjectUnref>;

// Null stays null.
template <typename T>
ObjectRef<T> TakeRef(T* object) {
  return ObjectRef<T>(object != nullptr ? static_cast<T*>(g_object_ref(object))
                                        : nullptr);
}

// Set once when the object that started the workers begins to go away.
// Shared with every worker, so that an answer arriving later finds it
// instead of freed memory.
using StopFlag = std::shared_ptr<std::atomic<bool>>;

namespace handoff_internal {

// GLib hands the record to the main thread under a lock of its own that
// ThreadSanitizer cannot see; the flag makes the hand-over visible to it,
// at the cost of one atomic store and load.
template <typename Task>
struct Posted {
  explicit Posted(Task posted_task) : task(std::move(posted_task)) {
    published.store(true, std::memory_order_release);
  }
  Task task;
  std::atomic<bool> published{false};
};

template <typename Task>
gboolean RunPosted(gpointer data) {
  auto* posted = static_cast<Posted<Task>*>(data);
  if (posted->published.load(std::memory_order_acquire)) {
    posted->task();
  }
  return G_SOURCE_REMOVE;
}

template <typename Task>
void DeletePosted(gpointer data) {
  std::unique_ptr<Posted<Task>> owned(static_cast<Posted<Task>*>(data));
}

}  // namespace handoff_internal

// Runs `task` once on the main thread, from any thread. A task still queued
// when the main loop has ended never runs.
template <typename Task>
void PostToMainThread(Task task) {
  using handoff_internal::Posted;
  g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, handoff_internal::RunPosted<Task>,
                  std::make_unique<Posted<Task>>(std::move(task)).release(),
                  handoff_internal::DeletePosted<Task>);
}

// Runs `reply(result)` on the main thread, unless `stop` was set by then:
// the reply is then dropped, with whatever it holds.
template <typename Reply, typename Result>
void PostReplyUnlessStopped(StopFlag stop, Reply reply, Result result) {
  PostToMainThread([stop = std::move(stop), reply = std::move(reply),
                    result = std::move(result)]() mutable {
    if (!stop->load(std::memory_order_acquire)) {
      reply(std::move(result));
    }
  });
}

// Runs `work()` on a detached thread, then posts its reply as above. When
// no thread can be started, `reply(refused)` runs at
// once instead, so that every request still gets its answer, and the result
// is false.
template <typename Work, typename Reply>
bool RunOnWorkerThenReply(const StopFlag& stop,
                          Work work,
                          Reply reply,
                          std::invoke_result_t<Work&> refused) {
  using Result = std::invoke_result_t<Work&>;
  struct Job {
    StopFlag stop;
    Work work;
    Reply reply;
  };
  auto job =
      std::make_unique<Job>(Job{stop, std::move(work), std::move(reply)});
  Job* running = job.get();
  // std::thread reports a refused thread (process or memory limits) only by
  // throwing.
  try {
    std::thread([running] {
      std::unique_ptr<Job> owned(running);
      Result result = owned->work();
      PostReplyUnlessStopped(std::move(owned->stop), std::move(owned->reply),
                             std::move(result));
    }).detach();
  } catch (const std::system_error&) {
    job->reply(std::move(refused));
    return false;
  }
  job.release();
  return true;
}

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_HOST_MAIN_THREAD_HANDOFF_H_
