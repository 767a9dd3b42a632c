// Error lines: the only output of the program besides the confirmation.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "text/formatted.h"

namespace morvex {

// Word 0 of the command line, set once by the driver before anything else.
void set_program_name(std::string_view name);
const std::string& program_name();

// Writes "<program_name>: error: <formatted>\n" as one write, so that the
// line is out before the call returns and never interleaves with another's.
void report_error(const char* format, ...) MORVEX_PRINTF(1, 2);

// Writes an already composed line to the error stream in one write.
// Failures to write are ignored: there is nowhere left to report them.
void write_error_stream(std::string_view text);

// Whether anything was written to the error stream so far: the run's
// status when the caller asked for one.
bool error_stream_written();

// From now on every line written to the error stream is also kept, without
// its line break, for the run's report.
void keep_error_lines();
const std::vector<std::string>& kept_error_lines();

// Forgets the lines written so far, as the end of the process does: for
// tests that act out several runs in one process.
void forget_error_lines();

}  // namespace morvex
