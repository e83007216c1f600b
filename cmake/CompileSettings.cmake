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

# Hardening, as distributions build their packages: a stack protector for the
# functions with arrays or addresses of locals, the C library's checked
# variants of memcpy, read and the like where the sizes are known
# (_FORTIFY_SOURCE, which needs the optimiser and which the sanitizers'
# own checks replace) and the whole relocation table read-only before main
# (full RELRO: every symbol bound at start). A packager whose flags set these
# already keeps them; VELLRUN_HARDEN=OFF drops ours.
option(VELLRUN_HARDEN "Build with stack protector, _FORTIFY_SOURCE and full RELRO" ON)
if(VELLRUN_HARDEN)
    if(NOT CMAKE_CXX_FLAGS MATCHES "-f(no-)?stack-protector")
        target_compile_options(vellrun_compile_settings INTERFACE -fstack-protector-strong)
    endif()
    if(NOT CMAKE_CXX_FLAGS MATCHES "_FORTIFY_SOURCE" AND NOT VELLRUN_SANITIZE
       AND NOT VELLRUN_FUZZ)
        # -U first: some compilers define it already, at another level.
        target_compile_options(vellrun_compile_settings INTERFACE
            $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2>)
    endif()
    target_link_options(vellrun_compile_settings INTERFACE LINKER:-z,relro,-z,now)
endif()
