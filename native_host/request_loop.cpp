#include "native_host/request_loop.h"

#include <variant>

namespace quorvelle::native_host {

void RunRequestLoop(int input, AnswerChannel &channel, CommandHandler &handler, ReportStreams &reports) {
  for (;;) {
    const Frame frame = ReadFrame(input);
    if (frame.status == FrameStatus::End) return;
    if (frame.status == FrameStatus::Refused) {
      if (!channel.Write(CommandHandler::Refusal(frame.error))) return;
      continue;
    }
    auto parsed = ParseRequest(frame.body);
    std::string answer;
    if (const auto *refused = std::get_if<ProtocolError>(&parsed)) {
      answer = ErrorAnswer(refused->id, *refused);
    } else if (const Request &request = std::get<Request>(parsed); request.command == "report") {
      try {
        reports.Start(request, handler.Report(request.args));
        continue;
      } catch (ProtocolError &error) {
        error.version = request.version;
        answer = ErrorAnswer(request.id, error);
      } catch (const std::exception &error) {
        answer = ErrorAnswer(request.id, {"failed", error.what(), request.id, request.version});
      }
    } else {
      answer = handler.Answer(request);
    }
    if (!channel.Write(answer)) return;
  }
}

} // namespace quorvelle::native_host
