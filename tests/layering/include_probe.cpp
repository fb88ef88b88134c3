// Compiled with one layer's include path; PROBE_HEADER names the header it reaches for.
#include PROBE_HEADER
