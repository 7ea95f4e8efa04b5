#include "log_capture.h"

#include <gtest/gtest.h>

namespace flutter_testing {

void Record(GLogLevelFlags level, const gchar* message);

namespace {

std::mutex active_mutex;
LogCapture* active_capture = nullptr;

void Dispatch(const gchar* domain,
              GLogLevelFlags level,
              const gchar* message,
              gpointer user_data) {
  {
    std::lock_guard<std::mutex> lock(active_mutex);
    if (active_capture != nullptr) {
      Record(level, message);
      return;
    }
  }
  if (level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING)) {
    ADD_FAILURE() << "unexpected GLib log message: "
                  << (domain != nullptr ? domain : "") << " " << message;
    return;
  }
  g_log_default_handler(domain, level, message, user_data);
}

}  // namespace

// Called with active_mutex held.
void Record(GLogLevelFlags level, const gchar* message) {
  std::lock_guard<std::mutex> lock(active_capture->mutex_);
  active_capture->entries_.push_back(
      {static_cast<GLogLevelFlags>(level & G_LOG_LEVEL_MASK), message});
}

LogCapture::LogCapture() {
  std::lock_guard<std::mutex> lock(active_mutex);
  outer_ = active_capture;
  active_capture = this;
}

LogCapture::~LogCapture() {
  std::lock_guard<std::mutex> lock(active_mutex);
  active_capture = outer_;
}

std::vector<std::string> LogCapture::Messages(GLogLevelFlags level) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> messages;
  for (const Entry& entry : entries_) {
    if (entry.level == level) {
      messages.push_back(entry.message);
    }
  }
  return messages;
}

void FailTestsOnLoggedProblems() {
  g_log_set_default_handler(Dispatch, nullptr);
}

}  // namespace flutter_testing
