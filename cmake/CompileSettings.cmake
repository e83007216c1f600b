# Compile settings shared by every target of our own: C++20 and warnings as errors.
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)
add_library(vellrun_settings INTERFACE)
target_compile_features(vellrun_settings INTERFACE cxx_std_20)
target_compile_options(vellrun_settings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
    -Wcast-align -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough -Werror)

option(VELLRUN_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(VELLRUN_SANITIZE)
    target_compile_options(vellrun_settings INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    target_link_options(vellrun_settings INTERFACE -fsanitize=address,undefined)
endif()
