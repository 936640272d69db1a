# Helpers every folder uses, so warnings, test labels and test environments stay alike.

function(brelta_set_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wno-missing-field-initializers)
    if(BRELTA_WARNINGS_AS_ERRORS)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# Test programs and their fixtures are compiled for compile speed (a test file compiles in a fifth to a quarter
# less time at -Og than at -O2); the libraries they test keep the build type's optimisation, so what is tested
# is what ships.
function(brelta_optimise_as_test_code target)
    target_compile_options(${target} PRIVATE $<$<CONFIG:RelWithDebInfo,Release,MinSizeRel>:-Og>)
endfunction()

# brelta_add_library(<name> SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
# Creates the static library brelta_<name> whose headers are included as "<name>/Header.h".
function(brelta_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
    add_library(brelta_${name} STATIC ${ARG_SOURCES})
    brelta_configure_library(${name} PUBLIC_LIBS ${ARG_PUBLIC_LIBS} PRIVATE_LIBS ${ARG_PRIVATE_LIBS})
endfunction()

# brelta_configure_library(<name> [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
# Links and warnings of an existing target brelta_<name>, for folders whose subfolders add the sources.
# Its own headers come through the include root the layering table gives it (BreltaLayering.cmake); the
# generated headers are open to every library.
function(brelta_configure_library name)
    cmake_parse_arguments(ARG "" "" "PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
    target_include_directories(brelta_${name} PUBLIC "${PROJECT_BINARY_DIR}/generated")
    target_link_libraries(brelta_${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
    brelta_set_warnings(brelta_${name})
endfunction()

# brelta_add_test(<name> LABEL <label> SOURCES ... [LIBS ...] [TIMEOUT seconds] [ENVIRONMENT VAR=value ...]
#                 [SERVICES pulseaudio secretservice ...])
# One Qt Test executable per class under test, labelled after its folder so `ctest -L <folder>` picks it.
# SERVICES names the test services whose state a test uses or changes:
#   pulseaudio  the test runs beside a PulseAudio server of its own (scripts/services/with-pulseaudio), so
#               audio tests run in parallel without hearing each other;
#   any other   shared by the whole run (the Secret Service, say): ctest runs tests that name the same
#               service one at a time.
function(brelta_add_test name)
    cmake_parse_arguments(ARG "" "LABEL;TIMEOUT" "SOURCES;LIBS;ENVIRONMENT;SERVICES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE brelta_testsupport Qt6::Test ${ARG_LIBS})
    brelta_set_warnings(${name})
    brelta_optimise_as_test_code(${name})
    if("pulseaudio" IN_LIST ARG_SERVICES)
        list(REMOVE_ITEM ARG_SERVICES pulseaudio)
        add_test(NAME ${name} COMMAND "${PROJECT_SOURCE_DIR}/scripts/services/with-pulseaudio" $<TARGET_FILE:${name}>)
    else()
        add_test(NAME ${name} COMMAND ${name})
    endif()
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    set_tests_properties(${name} PROPERTIES
        LABELS "${ARG_LABEL}"
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;BRELTA_SOURCE_DIR=${PROJECT_SOURCE_DIR};${ARG_ENVIRONMENT}")
    if(ARG_SERVICES)
        set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${ARG_SERVICES}")
    endif()
endfunction()

# Adds every immediate subfolder of the current source folder that has a CMakeLists.txt, so a new
# benchmark or tool needs no edit outside its own folder.
function(brelta_add_child_directories)
    file(GLOB children LIST_DIRECTORIES true "${CMAKE_CURRENT_SOURCE_DIR}/*")
    foreach(dir IN LISTS children)
        if(EXISTS "${dir}/CMakeLists.txt")
            add_subdirectory("${dir}")
        endif()
    endforeach()
endfunction()
