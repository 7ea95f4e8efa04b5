#include "peer_session.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "hex.h"
#include "pigeon/korvane_native_bridge.g.h"
#include "record_text.h"

namespace korvane_peer_tool {

namespace {

korvane_peer::Bytes ToBytes(GBytes* bytes) {
  gsize size = 0;
  const uint8_t* data =
      static_cast<const uint8_t*>(g_bytes_get_data(bytes, &size));
  return korvane_peer::Bytes(data, data + size);
}

constexpr char kReplyIndent[] = "   ";
// A list of numbers longer than this (a JPEG's bytes) shows only its start
// in a walk-through.
constexpr size_t kShownListItems = 4;

// Cuts every "[n, n, n, ...]" of more numbers than are shown.
std::string AbbreviateLists(const std::string& text) {
  std::string shown;
  size_t at = 0;
  for (size_t open; (open = text.find('[', at)) != std::string::npos;) {
    const size_t close = text.find(']', open);
    if (close == std::string::npos) {
      break;
    }
    const std::string items = text.substr(open + 1, close - open - 1);
    size_t commas = 0;
    size_t cut = std::string::npos;
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i] == ',' && ++commas == kShownListItems) {
        cut = i;
      }
    }
    const bool numbers =
        items.find_first_not_of("0123456789, -") == std::string::npos;
    shown += text.substr(at, open + 1 - at);
    shown += numbers && cut != std::string::npos
                 ? items.substr(0, cut) + ", ... (" +
                       std::to_string(commas + 1) + " in all)"
                 : items;
    at = close;
  }
  return shown + text.substr(at);
}

void PrintError(const std::string& line) {
  fprintf(stderr, "korvane-peer: %s\n", line.c_str());
}

}  // namespace

PeerSession::PeerSession(std::unique_ptr<korvane_peer::PeerClient> client,
                         SessionOptions options)
    : client_(std::move(client)),
      options_(options),
      codec_(FL_MESSAGE_CODEC(
          g_object_new(korvane_bridge_message_codec_get_type(), nullptr))) {
  // The reply of a callback that returns nothing: an empty list.
  g_autoptr(FlValue) empty_list = fl_value_new_list();
  empty_success_reply_ = Encode(empty_list);
  client_->SetHostMessageHandler(
      [this](const std::string& channel, const korvane_peer::Bytes& message) {
        return AnswerHostMessage(channel, message);
      });
}

PeerSession::~PeerSession() {
  g_object_unref(codec_);
}

// A whole line at once, so that output stays readable when it is piped
// while host messages arrive.
void PeerSession::PrintLine(const std::string& line) const {
  std::string shown = walking_through_ ? AbbreviateLists(line) : line;
  if (walking_through_) {
    for (size_t end = 0; (end = shown.find('\n', end)) != std::string::npos;
         end += sizeof(kReplyIndent)) {
      shown.insert(end + 1, kReplyIndent);
    }
    shown.insert(0, kReplyIndent);
  }
  fprintf(stdout, "%s\n", shown.c_str());
  fflush(stdout);
}

korvane_peer::Bytes PeerSession::Encode(FlValue* value) {
  g_autoptr(GBytes) encoded =
      fl_message_codec_encode_message(codec_, value, nullptr);
  return ToBytes(encoded);
}

FlValue* PeerSession::Decode(const korvane_peer::Bytes& bytes,
                             std::string* error) {
  g_autoptr(GBytes) message = g_bytes_new(bytes.data(), bytes.size());
  g_autoptr(GError) decode_error = nullptr;
  FlValue* value =
      fl_message_codec_decode_message(codec_, message, &decode_error);
  if (value == nullptr) {
    *error = decode_error->message;
  }
  return value;
}

korvane_peer::Bytes PeerSession::AnswerHostMessage(
    const std::string& channel,
    const korvane_peer::Bytes& message) {
  // Callback events are printed as "<method> <record>"; anything else, or an
  // event that does not decode, as its channel and bytes.
  std::string error;
  std::string event_name;
  g_autoptr(FlValue) event = nullptr;
  for (size_t i = 0; i < korvane_bridge_flutter_api_method_count; i++) {
    const KorvaneBridgeMethodDescription& method =
        korvane_bridge_flutter_api_methods[i];
    // The channel may carry a suffix after the method's name.
    if (channel.rfind(method.channel, 0) == 0) {
      event_name = method.name + channel.substr(strlen(method.channel));
      event = Decode(message, &error);
    }
  }
  if (event != nullptr && fl_value_get_type(event) == FL_VALUE_TYPE_LIST) {
    PrintLine(event_name + " " + DescribeValue(event));
  } else {
    PrintLine("message " + channel + " " + FormatHex(message));
  }
  return empty_success_reply_;
}

ExitStatus PeerSession::Run(const std::vector<std::string>& words) {
  if (words.empty()) {
    return kExitSuccess;
  }
  if (words[0] == "send") {
    return Send(words);
  }
  if (words[0] == "listen") {
    return Listen(words);
  }
  if (const BridgeMethod* method = FindBridgeMethod(words[0])) {
    return CallMethod(*method, words);
  }
  PrintError("unknown command \"" + words[0] + "\" (see --help)");
  return kExitUsage;
}

ExitStatus PeerSession::Send(const std::vector<std::string>& words) {
  if (words.size() < 2 || words.size() > 3) {
    PrintError("usage: send CHANNEL [HEX]");
    return kExitUsage;
  }
  std::optional<korvane_peer::Bytes> payload =
      ParseHex(words.size() == 3 ? words[2] : "");
  if (!payload) {
    PrintError("\"" + words[2] + "\" is not hexadecimal bytes");
    return kExitUsage;
  }
  std::string error;
  std::optional<korvane_peer::Bytes> reply =
      client_->Call(words[1], *payload, options_.call_timeout_ms, &error);
  if (!reply) {
    PrintError(error);
    return kExitFailure;
  }
  if (reply->empty()) {
    PrintError("no handler on " + words[1]);
    return kExitFailure;
  }
  PrintLine("reply " + FormatHex(*reply));
  return kExitSuccess;
}

ExitStatus PeerSession::Listen(const std::vector<std::string>& words) {
  guint64 count = 0;
  if (words.size() > 2 ||
      (words.size() == 2 &&
       !g_ascii_string_to_unsigned(words[1].c_str(), 10, 1, G_MAXUINT32, &count,
                                   nullptr))) {
    PrintError("usage: listen [COUNT]");
    return kExitUsage;
  }
  // On standard error, so that a script piping the events knows when the
  // host can reach this peer.
  PrintError("listening");
  std::string error;
  auto end = client_->Serve(count, options_.listen_timeout_ms, &error);
  // Without a count, listening ends when the host goes or time runs out,
  // and that is the normal end.
  bool ended_well =
      end == korvane_peer::PeerClient::WaitEnd::kDone ||
      (count == 0 && end != korvane_peer::PeerClient::WaitEnd::kFailed);
  if (!ended_well) {
    PrintError(error);
  }
  return ended_well ? kExitSuccess : kExitFailure;
}

ExitStatus PeerSession::CallMethod(const BridgeMethod& method,
                                   const std::vector<std::string>& words) {
  std::string save_path;
  std::vector<std::string> arguments;
  for (size_t i = 1; i < words.size(); i++) {
    if (words[i] == "--save" && i + 1 < words.size()) {
      save_path = words[++i];
    } else if (words[i].rfind("--save=", 0) == 0) {
      save_path = words[i].substr(7);
    } else {
      arguments.push_back(words[i]);
    }
  }
  std::string error;
  for (std::string& argument : arguments) {
    if (argument == "window_id=desktop") {
      const std::optional<int64_t> desktop = DesktopWindowId(&error);
      if (!desktop) {
        PrintError("no desktop entry: " + error);
        return kExitFailure;
      }
      argument = "window_id=" + std::to_string(*desktop);
    }
  }
  g_autoptr(FlValue) request = BuildRequest(method, arguments, &error);
  if (request == nullptr) {
    PrintError(std::string(method.name) + ": " + error);
    return kExitUsage;
  }
  std::string channel = method.channel;
  std::optional<korvane_peer::Bytes> reply =
      client_->Call(channel, Encode(request), options_.call_timeout_ms, &error);
  if (!reply) {
    PrintError(error);
    return kExitFailure;
  }
  if (reply->empty()) {
    PrintError("no handler on " + channel);
    return kExitFailure;
  }
  return PrintReply(*reply, save_path);
}

std::optional<int64_t> PeerSession::DesktopWindowId(std::string* error) {
  const BridgeMethod* list = FindBridgeMethod("listCapturableWindows");
  g_autoptr(FlValue) request = BuildRequest(*list, {}, error);
  std::optional<korvane_peer::Bytes> reply = client_->Call(
      list->channel, Encode(request), options_.call_timeout_ms, error);
  if (!reply) {
    return std::nullopt;
  }
  g_autoptr(FlValue) envelope = Decode(*reply, error);
  FlValue* windows =
      envelope != nullptr &&
              fl_value_get_type(envelope) == FL_VALUE_TYPE_LIST &&
              fl_value_get_length(envelope) == 1
          ? fl_value_get_list_value(envelope, 0)
          : nullptr;
  FlValue* first = windows != nullptr &&
                           fl_value_get_type(windows) == FL_VALUE_TYPE_LIST &&
                           fl_value_get_length(windows) > 0
                       ? fl_value_get_list_value(windows, 0)
                       : nullptr;
  if (first == nullptr || fl_value_get_type(first) != FL_VALUE_TYPE_CUSTOM ||
      fl_value_get_custom_type(first) !=
          korvane_bridge_capturable_window_info_type_id) {
    *error = "the window list came back empty or malformed";
    return std::nullopt;
  }
  return korvane_bridge_capturable_window_info_get_window_id(
      KORVANE_BRIDGE_CAPTURABLE_WINDOW_INFO(
          fl_value_get_custom_value_object(first)));
}

ExitStatus PeerSession::PrintReply(const korvane_peer::Bytes& reply,
                                   const std::string& save_path) {
  std::string error;
  g_autoptr(FlValue) envelope = Decode(reply, &error);
  size_t length =
      envelope != nullptr && fl_value_get_type(envelope) == FL_VALUE_TYPE_LIST
          ? fl_value_get_length(envelope)
          : 0;
  if (length == 3) {
    PrintLine("error " + DescribeValue(fl_value_get_list_value(envelope, 0)) +
              ": " + DescribeValue(fl_value_get_list_value(envelope, 1)) +
              " (details: " +
              DescribeValue(fl_value_get_list_value(envelope, 2)) + ")");
    return kExitFailure;
  }
  if (length != 1) {
    PrintError("malformed reply " + FormatHex(reply) +
               (error.empty() ? "" : ": " + error));
    return kExitFailure;
  }

  FlValue* result = fl_value_get_list_value(envelope, 0);
  PrintLine(DescribeValue(result));
  if (save_path.empty()) {
    return kExitSuccess;
  }
  if (fl_value_get_type(result) != FL_VALUE_TYPE_CUSTOM ||
      fl_value_get_custom_type(result) !=
          korvane_bridge_captured_window_frame_type_id) {
    PrintError("nothing to save: the reply holds no captured frame");
    return kExitFailure;
  }
  size_t size = 0;
  const uint8_t* jpeg = korvane_bridge_captured_window_frame_get_jpeg_bytes(
      KORVANE_BRIDGE_CAPTURED_WINDOW_FRAME(
          fl_value_get_custom_value_object(result)),
      &size);
  g_autoptr(GError) save_error = nullptr;
  if (!g_file_set_contents(save_path.c_str(),
                           reinterpret_cast<const gchar*>(jpeg), size,
                           &save_error)) {
    PrintError(save_error->message);
    return kExitFailure;
  }
  return kExitSuccess;
}

ExitStatus PeerSession::RunScript(std::istream& script, bool walk_through) {
  std::vector<std::string> comments;
  int commands = 0;
  int failed = 0;
  std::string line;
  for (int number = 1; std::getline(script, line); number++) {
    if (line.rfind('#', 0) == 0) {
      comments.push_back(line.substr(line.rfind("# ", 0) == 0 ? 2 : 1));
      continue;
    }
    g_auto(GStrv) argv = nullptr;
    g_autoptr(GError) error = nullptr;
    if (!g_shell_parse_argv(line.c_str(), nullptr, &argv, &error)) {
      if (g_error_matches(error, G_SHELL_ERROR, G_SHELL_ERROR_EMPTY_STRING)) {
        if (walk_through && !comments.empty()) {
          printf("\n");
          for (const std::string& comment : comments) {
            printf("%s\n", comment.c_str());
          }
        }
        comments.clear();
        continue;
      }
      PrintError("line " + std::to_string(number) + ": " + error->message);
      return kExitUsage;
    }
    std::vector<std::string> words(argv, argv + g_strv_length(argv));
    commands++;
    if (walk_through) {
      printf("\n%d.", commands);
      for (size_t i = 0; i < comments.size(); ++i) {
        printf("%s%s\n", i == 0 ? " " : kReplyIndent, comments[i].c_str());
      }
      printf("%s%s$ korvane-peer %s\n", comments.empty() ? "\n" : "",
             kReplyIndent, line.c_str());
      fflush(stdout);
    }
    comments.clear();
    walking_through_ = walk_through;
    const ExitStatus status = Run(words);
    walking_through_ = false;
    if (status == kExitSuccess) {
      continue;
    }
    if (!walk_through) {
      PrintError("script stopped at line " + std::to_string(number));
      return status;
    }
    failed++;
    printf("%s(this call failed; going on)\n", kReplyIndent);
  }
  if (walk_through) {
    if (failed == 0) {
      printf("\nAll %d calls were answered.\n", commands);
    } else {
      printf("\n%d of %d calls failed.\n", failed, commands);
    }
  }
  return failed == 0 ? kExitSuccess : kExitFailure;
}

}  // namespace korvane_peer_tool
