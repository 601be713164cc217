# Shared build settings: strictness, the libraries of the house, sanitizers and the test
# registration helper.

# Warnings as errors and Qt's strict string conversions, for every target of the project.
function(vedalka_set_strictness target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(VEDALKA_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
    target_compile_definitions(${target} PRIVATE
        QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_CAST_FROM_BYTEARRAY
        QT_NO_URL_CAST_FROM_STRING QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
endfunction()

# vedalka_include_root(<target> <PUBLIC|PRIVATE|INTERFACE> <folder>)
# Lets the target reach the headers of one source folder, and only those, as "<name>/X.h"
# (<name> is the folder's last part): its include root in the build tree holds nothing but a
# link to that folder. The project root is never on an include path, so an include of a folder
# the target does not link fails to compile.
function(vedalka_include_root target scope folder)
    get_filename_component(name ${folder} NAME)
    set(root ${PROJECT_BINARY_DIR}/layers/${name})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${name} SYMBOLIC)
    target_include_directories(${target} ${scope} ${root})
endfunction()

# vedalka_add_library(<name> <folder> <sources...>)
# One folder of the house as a static library: its own headers public, strict settings.
function(vedalka_add_library name folder)
    add_library(${name} STATIC ${ARGN})
    vedalka_set_strictness(${name})
    vedalka_include_root(${name} PUBLIC ${folder})
endfunction()

if(VEDALKA_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# vedalka_add_test(<name> SOURCES <files...> LIBS <libs...>)
# One Qt Test executable per area, run headless on the offscreen platform. LIBS names the
# lowest library of the house that holds what the test drives.
function(vedalka_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    if(NOT ARG_LIBS)
        message(FATAL_ERROR "vedalka_add_test(${name}): name the library it tests with LIBS")
    endif()
    add_executable(${name} ${ARG_SOURCES})
    vedalka_set_strictness(${name})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} vedalka_testsupport Qt6::Test)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;QT_ASSUME_STDERR_HAS_CONSOLE=1"
        TIMEOUT 600)
endfunction()
