// A library with a good version note that the loader must refuse: it needs
// a symbol that nothing defines.
extern "C" void mv_symbol_that_nothing_defines();
extern "C" void REOpenEngine() { mv_symbol_that_nothing_defines(); }
