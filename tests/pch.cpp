// The object the tests' shared precompiled header is built with (tests/CMakeLists.txt).
