// A library that exists only to carry a version note for the tests.
extern "C" int mv_note_lib_answer() { return 42; }
