# What makes the layering table in BreltaLayers.cmake hold: each library's include root, checks of what
# each library links and includes, and the layering check's rules.

set_property(GLOBAL PROPERTY BRELTA_LAYERS "")
set(BRELTA_LAYERS_FILE "${CMAKE_CURRENT_LIST_DIR}/BreltaLayers.cmake")

function(_brelta_layer_key folder out)
    string(MAKE_C_IDENTIFIER "${folder}" key)
    set(${out} "${key}" PARENT_SCOPE)
endfunction()

# brelta_layer_target(<folder> <out>): the library built from a folder of the table.
function(brelta_layer_target folder out)
    _brelta_layer_key("${folder}" key)
    set(${out} "brelta_${key}" PARENT_SCOPE)
endfunction()

# brelta_layer_allowed(<folder> <out>): every folder below <folder>, directly or not.
function(brelta_layer_allowed folder out)
    _brelta_layer_key("${folder}" key)
    get_property(allowed GLOBAL PROPERTY BRELTA_LAYER_ALLOWED_${key})
    set(${out} "${allowed}" PARENT_SCOPE)
endfunction()

function(brelta_layer folder)
    cmake_parse_arguments(ARG "" "" "USES" ${ARGN})
    if(ARG_UNPARSED_ARGUMENTS OR NOT folder MATCHES "^[a-z][a-z0-9]*(/[a-z][a-z0-9]*)?$")
        message(FATAL_ERROR "${BRELTA_LAYERS_FILE}: brelta_layer(${folder} ${ARGN}) is not "
                            "brelta_layer(<folder>[/<subfolder>] [USES <folder> ...]).")
    endif()
    get_property(layers GLOBAL PROPERTY BRELTA_LAYERS)
    if(folder IN_LIST layers)
        message(FATAL_ERROR "${BRELTA_LAYERS_FILE}: ${folder} has two rows.")
    endif()
    # A library inside another folder is left out of that folder's include root, which needs the row above.
    if(folder MATCHES "^([^/]+)/" AND NOT CMAKE_MATCH_1 IN_LIST layers)
        message(FATAL_ERROR "${BRELTA_LAYERS_FILE}: ${folder} needs a row for ${CMAKE_MATCH_1} before it.")
    endif()
    set(allowed "")
    foreach(used IN LISTS ARG_USES)
        if(NOT used IN_LIST layers)
            message(FATAL_ERROR "${BRELTA_LAYERS_FILE}: ${folder} uses ${used}, which has no row above it. "
                                "Rows go from the bottom layer up, so the table cannot go round in a circle.")
        endif()
        brelta_layer_allowed("${used}" below)
        list(APPEND allowed "${used}" ${below})
    endforeach()
    list(REMOVE_DUPLICATES allowed)
    _brelta_layer_key("${folder}" key)
    set_property(GLOBAL APPEND PROPERTY BRELTA_LAYERS "${folder}")
    set_property(GLOBAL PROPERTY BRELTA_LAYER_ALLOWED_${key} "${allowed}")
endfunction()

# brelta_layer_subsystems(<out>): the top folders of the table in its order, the order they are added to the
# build in. A folder of src/ with a CMakeLists.txt but no row stops the configuration: its headers would be
# reachable from nowhere.
function(brelta_layer_subsystems out)
    get_property(layers GLOBAL PROPERTY BRELTA_LAYERS)
    set(subsystems "")
    foreach(folder IN LISTS layers)
        if(NOT folder MATCHES "/")
            list(APPEND subsystems "${folder}")
        endif()
    endforeach()
    file(GLOB present LIST_DIRECTORIES true RELATIVE "${PROJECT_SOURCE_DIR}/src" "${PROJECT_SOURCE_DIR}/src/*")
    foreach(folder IN LISTS present)
        if(EXISTS "${PROJECT_SOURCE_DIR}/src/${folder}/CMakeLists.txt" AND NOT folder IN_LIST subsystems)
            message(FATAL_ERROR "src/${folder} has no row in ${BRELTA_LAYERS_FILE}: add one that says which "
                                "folders it uses.")
        endif()
    endforeach()
    set(${out} "${subsystems}" PARENT_SCOPE)
endfunction()

# The include root of one library: <root>/<folder> leads to src/<folder>. When libraries of their own live
# inside the folder, <root>/<folder> is a real folder whose entries lead to everything else in it.
function(_brelta_make_include_root folder root)
    set(source "${PROJECT_SOURCE_DIR}/src/${folder}")
    set(link "${root}/${folder}")
    get_property(layers GLOBAL PROPERTY BRELTA_LAYERS)
    set(inner "")
    foreach(other IN LISTS layers)
        if(other MATCHES "^${folder}/([^/]+)$")
            list(APPEND inner "${CMAKE_MATCH_1}")
        endif()
    endforeach()

    # What a previous configuration left: a link where a folder is wanted now, or the other way round.
    if(IS_SYMLINK "${link}" AND inner)
        file(REMOVE "${link}")
    elseif(IS_DIRECTORY "${link}" AND NOT IS_SYMLINK "${link}")
        file(GLOB stale LIST_DIRECTORIES true "${link}/*")
        if(stale)
            file(REMOVE ${stale}) # links only: this never follows one into the sources
        endif()
        if(NOT inner)
            file(REMOVE_RECURSE "${link}") # empty by now
        endif()
    endif()

    if(NOT inner)
        get_filename_component(parent "${link}" DIRECTORY)
        file(MAKE_DIRECTORY "${parent}")
        file(CREATE_LINK "${source}" "${link}" SYMBOLIC)
        return()
    endif()
    file(MAKE_DIRECTORY "${link}")
    # A file or folder added here later must show up without anyone re-running CMake by hand.
    file(GLOB entries CONFIGURE_DEPENDS LIST_DIRECTORIES true RELATIVE "${source}" "${source}/*")
    foreach(entry IN LISTS entries)
        if(NOT entry IN_LIST inner)
            file(CREATE_LINK "${source}/${entry}" "${link}/${entry}" SYMBOLIC)
        endif()
    endforeach()
endfunction()

# Gives every library of the table its include root, and stops the configuration when a library links a
# folder the table does not put below it or reaches into src/ past its root. Called once, after every folder
# has been added.
function(brelta_apply_layering)
    get_property(layers GLOBAL PROPERTY BRELTA_LAYERS)
    set(targets "")
    foreach(folder IN LISTS layers)
        brelta_layer_target("${folder}" target)
        list(APPEND targets "${target}")
    endforeach()

    foreach(folder IN LISTS layers)
        brelta_layer_target("${folder}" target)
        if(NOT TARGET ${target})
            continue()
        endif()
        _brelta_layer_key("${folder}" key)
        set(root "${PROJECT_BINARY_DIR}/include-roots/${key}")
        _brelta_make_include_root("${folder}" "${root}")
        target_include_directories(${target} PUBLIC "${root}")

        brelta_layer_allowed("${folder}" allowed)
        get_target_property(linked ${target} LINK_LIBRARIES)
        get_target_property(passed_on ${target} INTERFACE_LINK_LIBRARIES)
        foreach(item IN LISTS linked passed_on)
            string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" item "${item}")
            list(FIND targets "${item}" index)
            if(index EQUAL -1 OR item STREQUAL target)
                continue()
            endif()
            list(GET layers ${index} other)
            if(NOT other IN_LIST allowed)
                message(FATAL_ERROR "${target} links ${item}, but ${BRELTA_LAYERS_FILE} does not put ${other} "
                                    "below ${folder}. Seams point down: let ${folder} declare an interface for "
                                    "what it needs and have a folder above both implement it.")
            endif()
        endforeach()

        get_target_property(own ${target} INCLUDE_DIRECTORIES)
        get_target_property(public ${target} INTERFACE_INCLUDE_DIRECTORIES)
        foreach(dir IN LISTS own public)
            if(dir STREQUAL "${PROJECT_SOURCE_DIR}/src" OR dir STREQUAL "${PROJECT_SOURCE_DIR}/src/")
                message(FATAL_ERROR "${target} puts ${dir} on the include path, which opens every folder to it "
                                    "and to whatever links it. Drop it: each library gets its own include root "
                                    "from ${BRELTA_LAYERS_FILE}.")
            endif()
        endforeach()
    endforeach()
endfunction()

# The rules the layering check reads: "<folder>=<allowed folder> …", one argument per row.
function(brelta_layering_rules out)
    get_property(layers GLOBAL PROPERTY BRELTA_LAYERS)
    set(rules "")
    foreach(folder IN LISTS layers)
        brelta_layer_allowed("${folder}" allowed)
        list(JOIN allowed " " joined)
        list(APPEND rules "${folder}=${joined}")
    endforeach()
    set(${out} "${rules}" PARENT_SCOPE)
endfunction()

include("${BRELTA_LAYERS_FILE}")
