// Loaded by the dynamic-library tests.
extern "C" int ProbeAnswer() { return 42; }
