// A library that tells which copy of it was loaded.
extern "C" int ProbeId() { return PROBE_ID; }
