#ifndef LINUX_RUNNER_HOST_SERIAL_WORKER_H_
#define LINUX_RUNNER_HOST_SERIAL_WORKER_H_

// One thread that runs jobs one after another in the order they were
// posted: work that must keep its order but must not hold up the main
// thread. The thread starts with the first job.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace korvane_bridge {

template <typename Job>
class SerialWorker {
 public:
  explicit SerialWorker(std::function<void(Job&)> run) : run_(std::move(run)) {}
  ~SerialWorker() { Stop(); }
  SerialWorker(const SerialWorker&) = delete;
  SerialWorker& operator=(const SerialWorker&) = delete;

  // Takes the job and returns true; leaves it with the caller and returns
  // false when stopped or when no thread can be started.
  bool Post(Job&& job) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) {
      return false;
    }
    if (!thread_.joinable()) {
      // std::thread reports a refused thread only by throwing.
      try {
        thread_ = std::thread([this] { RunJobs(); });
      } catch (const std::system_error&) {
        return false;
      }
    }
    jobs_.push_back(std::move(job));
    wake_.notify_one();
    return true;
  }

  // Lets the running job finish and drops the waiting ones, on the calling
  // thread.
  void Stop() {
    std::deque<Job> dropped;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
      dropped.swap(jobs_);
      wake_.notify_one();
    }
    if (thread_.joinable()) {
      thread_.join();
    }
  }

 private:
  void RunJobs() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (stopping_) {
        return;
      }
      Job job = std::move(jobs_.front());
      jobs_.pop_front();
      lock.unlock();
      run_(job);
      lock.lock();
    }
  }

  const std::function<void(Job&)> run_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_HOST_SERIAL_WORKER_H_
