// A DLL of our own for the faulty fixture to import.
__declspec(dllexport) int fixture_helper(int value) { return value + 1; }
