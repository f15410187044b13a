// A parser library that classifies every file as type 2 and has no date
// export.
extern "C" __attribute__((visibility("default"))) int GetFormatType(const char*) { return 2; }
