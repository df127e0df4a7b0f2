// The program the tests' shared precompiled header is built with (tests/CMakeLists.txt): it does
// nothing.
int main() { return 0; }
