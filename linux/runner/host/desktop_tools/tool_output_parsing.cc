#include "host/desktop_tools/tool_output_parsing.h"

#include <glib.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <sstream>
#include <vector>

namespace korvane_bridge {

namespace {

constexpr int64_t kMaxPercent = 100;

int64_t ClampPercent(int64_t percent) {
  return percent < 0 ? 0 : (percent > kMaxPercent ? kMaxPercent : percent);
}

constexpr int64_t kRangeFirst = 26759;
constexpr int64_t kRangeLast = 26761;
constexpr int64_t kNarrowRangeLast = 26760;
constexpr char kUfwRange[] = "26759:26761/udp";
constexpr char kUfwNarrowRange[] = "26759:26760/udp";

std::vector<std::string> Words(const std::string& text) {
  std::istringstream stream(text);
  std::vector<std::string> words;
  for (std::string word; stream >> word;) {
    words.push_back(word);
  }
  return words;
}

// A port number as ufw prints it: 1 to 5 digits.
std::optional<int64_t> PortNumber(const std::string& text) {
  if (text.empty() || text.size() > 5) {
    return std::nullopt;
  }
  int64_t number = 0;
  for (char digit : text) {
    if (!g_ascii_isdigit(digit)) {
      return std::nullopt;
    }
    number = number * 10 + (digit - '0');
  }
  return number;
}

// What one word of a rule's "To" says of a UDP port.
enum class PortMatch {
  kNamed,    // it names the port: "P", "P/udp", "A:B/udp", "P,Q/udp" ...
  kOther,    // it names ports, the port not among them ("22/tcp")
  kNoPorts,  // an address, an interface or an application: every port
};

PortMatch MatchPort(const std::string& word, int64_t port) {
  const size_t slash = word.find('/');
  const std::string ports = word.substr(0, slash);
  const bool udp =
      slash == std::string::npos || word.compare(slash + 1, 3, "udp") == 0;
  if (ports == "Anywhere") {
    return udp ? PortMatch::kNamed : PortMatch::kOther;
  }
  bool named = false;
  std::istringstream items(ports);
  for (std::string item; std::getline(items, item, ',');) {
    const size_t colon = item.find(':');
    const std::optional<int64_t> first = PortNumber(item.substr(0, colon));
    const std::optional<int64_t> last =
        colon == std::string::npos ? first : PortNumber(item.substr(colon + 1));
    if (!first || !last) {
      return PortMatch::kNoPorts;
    }
    named = named || (*first <= port && port <= *last);
  }
  return named && udp ? PortMatch::kNamed : PortMatch::kOther;
}

bool AllowsExactly(const std::string& to,
                   int64_t port,
                   NarrowUfwRange narrow_range) {
  const std::string number = std::to_string(port);
  return to == number || to == number + "/udp" ||
         (to == kUfwRange && kRangeFirst <= port && port <= kRangeLast) ||
         (narrow_range == NarrowUfwRange::kCounts && to == kUfwNarrowRange &&
          kRangeFirst <= port && port <= kNarrowRangeLast);
}

// A DENY or REJECT rule may catch the port when its "To" names it, or
// names no ports at all.
bool MayCatch(const std::vector<std::string>& to, int64_t port) {
  bool names_ports = false;
  for (const std::string& word : to) {
    const PortMatch match = MatchPort(word, port);
    if (match == PortMatch::kNamed) {
      return true;
    }
    names_ports = names_ports || match == PortMatch::kOther;
  }
  return !names_ports;
}

struct UfwRule {
  std::vector<std::string> to;
  bool allows = false;  // ALLOW or LIMIT; otherwise DENY or REJECT
};

// The rule of one line of `ufw status`, "<To> <ACTION> [IN|OUT|FWD] <From>
// [(log)] [# comment]", when it applies to IPv4 packets coming in from
// every source; nothing for other lines.
std::optional<UfwRule> IncomingRuleFromAnywhere(const std::string& line) {
  const std::vector<std::string> words = Words(line.substr(0, line.find('#')));
  const auto action =
      std::find_if(words.begin(), words.end(), [](const std::string& word) {
        return word == "ALLOW" || word == "LIMIT" || word == "DENY" ||
               word == "REJECT";
      });
  if (action == words.begin() || action == words.end() ||
      std::count(words.begin(), words.end(), "(v6)") > 0) {
    return std::nullopt;
  }
  auto from = action + 1;
  if (from != words.end() &&
      (*from == "IN" || *from == "OUT" || *from == "FWD")) {
    if (*from != "IN") {
      return std::nullopt;  // outgoing or routed
    }
    ++from;
  }
  // "Anywhere/udp" in a rule of one protocol; after it only attributes.
  if (from == words.end() || from->substr(0, from->find('/')) != "Anywhere" ||
      (from + 1 != words.end() && (from + 1)->front() != '(')) {
    return std::nullopt;
  }
  return UfwRule{{words.begin(), action},
                 *action == "ALLOW" || *action == "LIMIT"};
}

}  // namespace

bool ParseWpctlVolume(const std::string& output,
                      int64_t* volume_percent,
                      bool* muted) {
  if (output.find("Volume:") == std::string::npos) {
    return false;
  }
  *muted = output.find("[MUTED]") != std::string::npos;
  // The decimal point is a dot whatever the user's locale: wpctl's own
  // format, not a translated one. NaN gives 0; the clamp comes before the
  // rounding so that no value is out of range for it.
  const std::string after_colon = output.substr(output.find(':') + 1);
  const double level = g_ascii_strtod(after_colon.c_str(), nullptr) * 100.0;
  const double clamped =
      std::isnan(level) ? 0.0 : std::fmin(std::fmax(level, 0.0), kMaxPercent);
  *volume_percent = std::llround(clamped);
  return true;
}

void ParsePactlVolume(const std::string& output, int64_t* volume_percent) {
  const size_t percent_sign = output.find('%');
  if (percent_sign == std::string::npos) {
    return;
  }
  size_t digits_start = percent_sign;
  while (digits_start > 0 && g_ascii_isdigit(output[digits_start - 1])) {
    digits_start--;
  }
  // Leading digits beyond any sane volume saturate instead of overflowing.
  int64_t value = 0;
  for (size_t i = digits_start; i < percent_sign && value <= kMaxPercent;
       ++i) {
    value = value * 10 + (output[i] - '0');
  }
  *volume_percent = ClampPercent(value);
}

MediaMetadata SplitMediaMetadata(const std::string& output) {
  MediaMetadata metadata;
  std::string* const fields[] = {&metadata.title, &metadata.artist,
                                 &metadata.album, &metadata.player_name};
  size_t start = 0;
  for (std::string* field : fields) {
    if (start > output.size()) {
      break;
    }
    const size_t tab = output.find('\t', start);
    *field = output.substr(start, tab == std::string::npos ? std::string::npos
                                                           : tab - start);
    start = tab == std::string::npos ? output.size() + 1 : tab + 1;
  }
  return metadata;
}

bool UfwAllowsUdpPort(const std::string& status,
                      int64_t port,
                      NarrowUfwRange narrow_range) {
  std::istringstream lines(status);
  for (std::string line; std::getline(lines, line);) {
    const std::optional<UfwRule> rule = IncomingRuleFromAnywhere(line);
    if (!rule) {
      continue;
    }
    if (rule->allows) {
      if (rule->to.size() == 1 &&
          AllowsExactly(rule->to.front(), port, narrow_range)) {
        return true;
      }
    } else if (MayCatch(rule->to, port)) {
      return false;
    }
  }
  return false;
}

}  // namespace korvane_bridge
