// Filled in by the command-line work.
