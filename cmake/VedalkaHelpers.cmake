# Shared build settings: warnings, sanitizers and the test registration helper.

function(vedalka_set_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(VEDALKA_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

if(VEDALKA_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# vedalka_add_test(<name> SOURCES <files...> [LIBS <libs...>])
# One Qt Test executable per area, run headless on the offscreen platform.
function(vedalka_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    vedalka_set_warnings(${name})
    target_link_libraries(${name} PRIVATE vedalka_lib vedalka_testsupport Qt6::Test ${ARG_LIBS})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;QT_ASSUME_STDERR_HAS_CONSOLE=1"
        TIMEOUT 600)
endfunction()
