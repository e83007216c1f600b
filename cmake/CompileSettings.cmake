# Compile settings shared by every target of our own: C++20 (no GNU
# extensions) and the warnings we keep the code free of. Warnings become
# errors only with VELLRUN_WERROR, which scripts/build turns on: the gate is
# ours, a packager's build with another compiler must not inherit it.
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)
set(CMAKE_CXX_EXTENSIONS OFF)
add_library(vellrun_compile_settings INTERFACE)
target_compile_features(vellrun_compile_settings INTERFACE cxx_std_20)
target_compile_options(vellrun_compile_settings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
    -Wcast-align -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough)

option(VELLRUN_WERROR "Treat compiler warnings as errors" OFF)
if(VELLRUN_WERROR)
    target_compile_options(vellrun_compile_settings INTERFACE -Werror)
endif()

# GCC 12 warns about std::string's own operator+ when it is inlined at -O2 and
# above (-Wrestrict, -Wnull-dereference inside libstdc++: GCC bugs 105329 and
# 105651); the warnings name no fault of ours and vanish with GCC 13.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(vellrun_compile_settings INTERFACE
        $<$<NOT:$<CONFIG:Debug>>:-Wno-restrict -Wno-null-dereference>)
endif()

option(VELLRUN_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(VELLRUN_SANITIZE)
    target_compile_options(vellrun_compile_settings INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    target_link_options(vellrun_compile_settings INTERFACE -fsanitize=address,undefined)
endif()

# Fuzzing: every library of ours is instrumented for libFuzzer and checked by
# AddressSanitizer and UndefinedBehaviorSanitizer; the fuzz targets
# (fuzz/CMakeLists.txt) link libFuzzer itself. Clang only; scripts/fuzz
# builds it in a folder of its own.
option(VELLRUN_FUZZ "Build the fuzz targets with libFuzzer (clang)" OFF)
if(VELLRUN_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "VELLRUN_FUZZ needs clang (CXX=clang++)")
    endif()
    target_compile_options(vellrun_compile_settings INTERFACE
        -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
        -fno-sanitize-recover=all)
    target_link_options(vellrun_compile_settings INTERFACE -fsanitize=address,undefined)
endif()
