// The parvalyte program from start to exit.
#pragma once

/// Runs the analyzer as invoked by argv and returns the exit status.
int run_parvalyte(int argc, char** argv);

/// Prints the record-count and timing line of the end of a run.
void print_run_summary(double elapsed_seconds);
