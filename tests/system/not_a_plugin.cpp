// A shared library without the entry points, for the loader's refusal.
extern "C" __attribute__((visibility("default"))) int skyfw_test_something_else() { return 0; }
