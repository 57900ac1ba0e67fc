// The source the tests' precompiled headers are built with (tests/CMakeLists.txt).
