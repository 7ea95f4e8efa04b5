#include "log_capture.h"

#include <gtest/gtest.h>

#include <mutex>

namespace flutter_testing {
namespace {

// Guards the active capture and what every capture holds: threads log too.
std::mutex mutex;
LogCapture* active = nullptr;

}  // namespace

LogCapture::LogCapture() {
  std::lock_guard<std::mutex> lock(mutex);
  outer_ = active;
  active = this;
}

LogCapture::~LogCapture() {
  std::lock_guard<std::mutex> lock(mutex);
  active = outer_;
}

std::vector<std::string> LogCapture::Messages(GLogLevelFlags level) const {
  std::lock_guard<std::mutex> lock(mutex);
  std::vector<std::string> messages;
  for (const auto& [entry_level, message] : entries_) {
    if (entry_level == level) {
      messages.push_back(message);
    }
  }
  return messages;
}

void LogCapture::Dispatch(const gchar* domain,
                          GLogLevelFlags level,
                          const gchar* message,
                          gpointer user_data) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (active != nullptr) {
      active->entries_.emplace_back(
          static_cast<GLogLevelFlags>(level & G_LOG_LEVEL_MASK), message);
      return;
    }
  }
  if (level &
      (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING)) {
    ADD_FAILURE() << "unexpected GLib log message: "
                  << (domain != nullptr ? domain : "") << " " << message;
    return;
  }
  g_log_default_handler(domain, level, message, user_data);
}

void FailTestsOnLoggedProblems() {
  g_log_set_default_handler(LogCapture::Dispatch, nullptr);
}

}  // namespace flutter_testing
