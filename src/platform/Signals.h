#pragma once

namespace turnpost {

/// A write past the file-size limit of the user's shell (ulimit -f) then fails like any other write
/// (EFBIG), so a save reports it and cleans up instead of the program being killed half way. Called
/// once at the start of each program.
void IgnoreFileSizeSignal();

/// Interrupt requests for a console run: Ctrl+C, a scheduler's time-out and a closed terminal are
/// counted, so the run stops at a point of its choosing; a second request ends the program at once
/// with 128 + the signal number, after lastWords (a text that lives as long as the program) on
/// standard error.
void InstallInterruptHandler(const char* lastWords);
/// How many interrupt requests have arrived so far.
int InterruptCount();
/// Counts one request, as if one had arrived (for tests).
void RequestInterrupt();

/// True when standard error is a terminal, where a line can be redrawn in place.
bool StandardErrorIsTerminal();

} // namespace turnpost
