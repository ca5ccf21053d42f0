#pragma once
// The host's main loop: reads the browser's requests one after another and
// answers each; report requests are handed to the report streams, so the
// next request is read (and answered) while a report still loads.

#include "native_host/host_commands.h"
#include "native_host/report_stream.h"

namespace quorvelle::native_host {

// Until the input closes or the browser is gone.
void RunRequestLoop(int input, AnswerChannel &channel, CommandHandler &handler, ReportStreams &reports);

} // namespace quorvelle::native_host
